// Localisation: language choice from the locale, lookups, missing keys and
// languages, file forms, and the language.dat that the build produces.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSDictionary.h"
#include "toolkit/foundation/NSLanguage.h"

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string plistDict(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string xml = "<dict>";
    for (const auto& [key, value] : entries)
        xml += "<key>" + key + "</key>" + value;
    return xml + "</dict>";
}

std::string str(const std::string& s) { return "<string>" + s + "</string>"; }

// english, german and french; no norwegian. "onlyEnglish" exists in english
// only.
std::string fixturePlist()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" +
           plistDict({
               {"english", plistDict({{"appName", str("Fernwick")},
                                      {"cancelButton", str("Cancel")},
                                      {"onlyEnglish", str("English only")}})},
               {"german", plistDict({{"appName", str("Fernwick DE")}, {"cancelButton", str("Abbrechen")}})},
               {"french", plistDict({{"appName", str("Fernwick FR")}})},
           }) +
           "</plist>\n";
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "nslang-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        const char* old = getenv("LC_ALL");
        savedLocale = old ? old : "";
        hadLocale = old != nullptr;
        useRoot(dir);
    }
    void TearDown() override
    {
        NSUI::setLocalizedStringTable(nullptr);
        if (hadLocale)
            setenv("LC_ALL", savedLocale.c_str(), 1);
        else
            unsetenv("LC_ALL");
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    void useRoot(const fs::path& root)
    {
        auto* files = cocos2d::FileUtils::getInstance();
        files->setDefaultResourceRootPath(root.string() + "/");
        files->purgeCachedEntries();
    }
    void writeDat(const std::string& content) { writeFile(dir / "language.dat", content); }

    fs::path dir;
    std::string savedLocale;
    bool hadLocale = false;
};

TEST_F(LanguageTest, LanguageComesFromTheLocale)
{
    writeDat(cocos2d::safeBase64EncodeString(fixturePlist()));
    struct Row {
        const char* locale;
        const char* appName;
        const char* onlyEnglish;  // no fallback to english for a missing key
        const char* cancel;
    };
    const Row rows[] = {
        {"de_DE.UTF-8", "Fernwick DE", "", "Abbrechen"},
        {"fr_FR", "Fernwick FR", "", ""},
        {"nb_NO.UTF-8", "Fernwick", "English only", "Cancel"},  // norwegian missing: english
        {"C", "Fernwick", "English only", "Cancel"},
        {"en_GB.UTF-8", "Fernwick", "English only", "Cancel"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.locale);
        setenv("LC_ALL", row.locale, 1);
        NSUI::NSLanguage table;
        EXPECT_EQ(table.fileName, "language.dat");
        table.load();
        ASSERT_NE(table.all, nullptr);
        EXPECT_EQ(table.getString("appName"), row.appName);
        EXPECT_EQ(table.getString("onlyEnglish"), row.onlyEnglish);
        EXPECT_EQ(table.getString("cancelButton"), row.cancel);
    }
}

TEST_F(LanguageTest, MissingKeysAndTheSharedTable)
{
    writeDat(cocos2d::safeBase64EncodeString(fixturePlist()));
    setenv("LC_ALL", "C", 1);
    NSUI::NSLanguage table;
    EXPECT_EQ(table.getString("appName"), "");  // before loading
    EXPECT_EQ(NSUI::getLocalizedString("appName"), "");  // no table yet

    table.load();
    EXPECT_EQ(table.getString("noSuchKey"), "");
    EXPECT_EQ(table.getString(""), "");
    std::string& first = table.getString("appName");
    EXPECT_EQ(&first, &table.result);

    NSUI::setLocalizedStringTable(&table);
    EXPECT_EQ(NSUI::getLocalizedString("appName"), "Fernwick");
    EXPECT_EQ(NSUI::getLocalizedString(std::string("cancelButton")), "Cancel");
    EXPECT_EQ(NSUI::getLocalizedString(static_cast<const char*>(nullptr)), "");
    NSUI::setLocalizedStringTable(nullptr);
    EXPECT_EQ(NSUI::getLocalizedString("appName"), "");
}

TEST_F(LanguageTest, LoadHappensOnceEvenWhenTheLocaleChanges)
{
    writeDat(cocos2d::safeBase64EncodeString(fixturePlist()));
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    NSUI::NSLanguage table;
    table.load();
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    table.load();
    EXPECT_EQ(table.getString("appName"), "Fernwick DE");
}

TEST_F(LanguageTest, FileForms)
{
    setenv("LC_ALL", "C", 1);
    {
        SCOPED_TRACE("plain property list, not base64");
        writeDat(fixturePlist());
        NSUI::NSLanguage table;
        table.load();
        EXPECT_EQ(table.getString("appName"), "Fernwick");
    }
    {
        SCOPED_TRACE("missing file");
        fs::remove(dir / "language.dat");
        cocos2d::FileUtils::getInstance()->purgeCachedEntries();
        NSUI::NSLanguage table;
        table.load();
        EXPECT_EQ(table.all, nullptr);
        EXPECT_EQ(table.getString("appName"), "");
    }
    {
        SCOPED_TRACE("not a property list, then repaired");
        writeDat(cocos2d::safeBase64EncodeString("this is no property list"));
        NSUI::NSLanguage table;
        table.load();
        EXPECT_EQ(table.all, nullptr);
        EXPECT_EQ(table.getString("appName"), "");
        writeDat(cocos2d::safeBase64EncodeString(fixturePlist()));
        table.load();
        EXPECT_EQ(table.getString("appName"), "Fernwick");
    }
    {
        SCOPED_TRACE("a valid, empty table: kept without a log, not read again");
        writeDat(cocos2d::safeBase64EncodeString("<plist version=\"1.0\"><dict/></plist>"));
        NSUI::NSLanguage table;
        testing::internal::CaptureStderr();
        table.load();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_NE(table.all, nullptr);
        EXPECT_EQ(table.current, nullptr);
        EXPECT_EQ(table.getString("appName"), "");
        writeDat(cocos2d::safeBase64EncodeString(fixturePlist()));
        table.load();
        EXPECT_EQ(table.getString("appName"), "");
    }
    {
        SCOPED_TRACE("neither the language nor english");
        writeDat(cocos2d::safeBase64EncodeString("<plist version=\"1.0\">" +
                                                 plistDict({{"german", plistDict({{"appName", str("DE")}})}}) +
                                                 "</plist>"));
        NSUI::NSLanguage table;
        table.load();
        EXPECT_EQ(table.current, nullptr);
        EXPECT_EQ(table.getString("appName"), "");
    }
}

TEST(LanguageNames, FollowTheEngineCodes)
{
    EXPECT_STREQ(NSUI::NSLanguage::languageName(0), "english");
    EXPECT_STREQ(NSUI::NSLanguage::languageName(static_cast<int>(cocos2d::LanguageType::NORWEGIAN)), "norwegian");
    EXPECT_STREQ(NSUI::NSLanguage::languageName(18), "bulgarian");
    EXPECT_STREQ(NSUI::NSLanguage::languageName(19), "english");
    EXPECT_STREQ(NSUI::NSLanguage::languageName(-1), "english");
}

// The language.dat the build wrote from resources/lang/.
TEST_F(LanguageTest, BuiltFileReadsBack)
{
    const fs::path built = fs::path(FW_BINARY_DIR) / "resources";
    ASSERT_TRUE(fs::exists(built / "language.dat")) << "the langbuild tool writes it at build time";
    useRoot(built);

    std::ifstream in(built / "language.dat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    auto* root = NSUI::NSDictionary::createWithData(cocos2d::safeBase64DecodeString(text));
    for (int code = 0; code <= 18; ++code) {
        const char* name = NSUI::NSLanguage::languageName(code);
        EXPECT_NE(dynamic_cast<NSUI::NSDictionary*>(root->objectForKey(name)), nullptr) << name;
    }

    struct Row {
        const char* locale;
        const char* key;
        std::string expected;
    };
    const Row rows[] = {
        {"C", "appName", "Fernwick"},
        {"C", "configMail", "Please config the account of the mail."},
        {"C", "shareToSubject", "Shared images: "},
        {"de_DE.UTF-8", "cancelButton", "Abbrechen"},
        {"ja_JP.UTF-8", "cancelButton", "\xE3\x82\xAD\xE3\x83\xA3\xE3\x83\xB3\xE3\x82\xBB\xE3\x83\xAB"},
        {"bg_BG.UTF-8", "appName", "Fernwick"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.locale) + " " + row.key);
        setenv("LC_ALL", row.locale, 1);
        NSUI::NSLanguage table;
        table.load();
        EXPECT_EQ(table.getString(row.key), row.expected);
    }

    // The mail body is stored base64-encoded; the share page decodes it.
    setenv("LC_ALL", "C", 1);
    NSUI::NSLanguage table;
    table.load();
    EXPECT_EQ(cocos2d::safeBase64DecodeString(table.getString("shareToBody")),
              "Please find the attached medical images, shared from Fernwick.");
}

int runTool(const fs::path& sources, const fs::path& out)
{
    const std::string command = "python3 " + std::string(FW_SOURCE_DIR) + "/tools/langbuild/langbuild.py --out " +
                                out.string() + " " + sources.string() + " 2>/dev/null";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(LanguageTest, BuildToolChecksItsSources)
{
    const fs::path out = dir / "out" / "language.dat";
    {
        SCOPED_TRACE("a key that english lacks");
        fs::path src = dir / "bad-key";
        writeFile(src / "english.json", R"({"appName": "Fernwick"})");
        writeFile(src / "german.json", R"({"appName": "Fernwick", "typo": "x"})");
        EXPECT_NE(runTool(src, out), 0);
        EXPECT_FALSE(fs::exists(out));
    }
    {
        SCOPED_TRACE("an unknown language");
        fs::path src = dir / "bad-language";
        writeFile(src / "english.json", R"({"appName": "Fernwick"})");
        writeFile(src / "klingon.json", R"({"appName": "Fernwick"})");
        EXPECT_NE(runTool(src, out), 0);
        EXPECT_FALSE(fs::exists(out));
    }
    {
        SCOPED_TRACE("a value that is no text");
        fs::path src = dir / "bad-value";
        writeFile(src / "english.json", R"({"appName": 5})");
        EXPECT_NE(runTool(src, out), 0);
    }
    {
        SCOPED_TRACE("english only, markup in a text");
        fs::path src = dir / "good";
        writeFile(src / "english.json", R"({"appName": "A <b> & \"c\"", "body": {"base64": "Grüße"}})");
        ASSERT_EQ(runTool(src, out), 0);
        useRoot(out.parent_path());
        setenv("LC_ALL", "pl_PL.UTF-8", 1);
        NSUI::NSLanguage polish;
        polish.load();
        EXPECT_NE(polish.current, nullptr);          // polish is present, empty
        EXPECT_EQ(polish.getString("appName"), "");  // and does not fall back
        setenv("LC_ALL", "C", 1);
        NSUI::NSLanguage english;
        english.load();
        EXPECT_EQ(english.getString("appName"), "A <b> & \"c\"");
        EXPECT_EQ(cocos2d::safeBase64DecodeString(english.getString("body")), "Gr\xC3\xBC\xC3\x9F" "e");
    }
}

}  // namespace
