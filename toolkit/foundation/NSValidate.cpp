#include "toolkit/foundation/NSValidate.h"

#include <regex>

namespace NSUI {

bool isValidEmail(const std::string& text)
{
    if (text.size() > 254)
        return false;
    size_t at = text.find('@');
    if (at == std::string::npos || at > 64)
        return false;
    static const std::regex pattern(
        "[0-9A-Za-z._%+\\-]+"
        "@"
        "([0-9A-Za-z]([0-9A-Za-z\\-]{0,61}[0-9A-Za-z])?\\.)+"
        "[A-Za-z]([0-9A-Za-z\\-]{0,61}[0-9A-Za-z])");
    return std::regex_match(text, pattern);
}

bool isValidName(const std::string& text)
{
    static const std::regex pattern("[0-9A-Za-z\\-_\\.]+");
    return std::regex_match(text, pattern);
}

}  // namespace NSUI
