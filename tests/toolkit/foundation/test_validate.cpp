// E-mail address and user name checks.
#include <gtest/gtest.h>

#include <string>

#include "toolkit/foundation/NSValidate.h"

namespace {

TEST(Validate, EmailAddresses)
{
    struct Row {
        std::string text;
        bool valid;
    };
    const Row rows[] = {
        {"anna@example.com", true},
        {"anna.berg@clinic.co.uk", true},
        {"a_b-c.d@x1.de", true},
        {"first+tag@example.org", true},                // '+' in the local part
        {"someone@st-olav-hospital.no", true},          // hyphenated domain
        {"rad@dept.radiology.uni-example.edu", true},   // four labels
        {"info@example.photography", true},             // long top-level domain
        {"x@example.xn--p1ai", true},                   // internationalised top-level domain
        {"", false},
        {"anna", false},
        {"anna@", false},
        {"@example.com", false},
        {"anna@example", false},                        // one label only
        {"anna@example.c", false},                      // one-letter top-level domain
        {"anna@example.123", false},                    // numeric top-level domain
        {"anna@-example.com", false},
        {"anna@example-.com", false},
        {"anna@example..com", false},
        {"anna@@example.com", false},
        {"an na@example.com", false},
        {" anna@example.com", false},
        {"anna@example.com ", false},
        {"anna@exam_ple.com", false},
        {"\"anna\"@example.com", false},
        {"anna@[127.0.0.1]", false},
        {"anna@example.com\n", false},
        {"\xC3\xA5se@example.com", false},              // non-ASCII
        {std::string(65, 'a') + "@example.com", false}, // local part too long
        {"a@" + std::string(64, 'b') + ".com", false},  // label too long
        {"a@" + std::string(63, 'b') + ".com", true},
        {"a@" + std::string(60, 'b') + "." + std::string(60, 'c') + "." + std::string(60, 'd') + "." +
             std::string(60, 'e') + "." + std::string(60, 'f') + ".com",
         false},  // beyond 254 characters
    };
    for (const Row& row : rows)
        EXPECT_EQ(NSUI::isValidEmail(row.text), row.valid) << '"' << row.text << '"';
}

TEST(Validate, UserNames)
{
    struct Row {
        std::string text;
        bool valid;
    };
    const Row rows[] = {
        {"anna", true},      {"Anna_Berg-2.x", true}, {".leading", true}, {"-dash", true},
        {"", false},         {"an na", false},        {"a@b", false},     {"\xC3\xA5sa", false},
        {"tab\tname", false}, {"name\n", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NSUI::isValidName(row.text), row.valid) << '"' << row.text << '"';
}

}  // namespace
