// Localised texts.
//
// "language.dat" holds the base64 text of a property list whose root
// dictionary has one entry per language ("english", "chinese", ...), each a
// dictionary from text keys to translated texts. The file is built from the
// readable sources in resources/lang/ by tools/langbuild at build time.
//
// NSLanguage loads the file once, picks the dictionary of the user's language
// (from the locale: LC_ALL, LC_MESSAGES, LANG) and answers keys from it. A
// language missing from the file falls back to "english"; a key missing from
// the chosen language answers "" (there is no fallback per key).
//
// UI thread only: getString writes the table's single result text.
#pragma once

#include <string>

namespace cocos2d {
class Node;
}

namespace NSUI {

class NSDictionary;

class NSLanguage {
public:
    NSLanguage();
    virtual ~NSLanguage();
    NSLanguage(const NSLanguage&) = delete;
    NSLanguage& operator=(const NSLanguage&) = delete;

    // Loads `fileName` (found through the engine's search paths) once; later
    // calls do nothing, even when the locale changed meanwhile. A missing or
    // empty file leaves the table empty; a property list whose dictionary
    // is empty is loaded as an empty table (no log, not read again); a text
    // that is no property list is logged ("Failed to load config file of
    // language.") and leaves the table empty, so a later call may try again.
    void load();

    // The translation of `key` in the chosen language, or "" when there is
    // none. The reference is to `result`, which the next call overwrites.
    std::string& getString(std::string key);

    // Relabels the descendants of `node` (not the node itself) from this
    // table: each text widget, button and text field gets the translation of
    // prefix + its name as its text, title or placeholder when that
    // translation is not empty; any other node with children is walked into;
    // a relabelled widget's own children are not visited. Defined by the
    // widget toolkit (toolkit/widgets), which code that calls it links.
    void translateNode(cocos2d::Node* node, std::string prefix);

    // The file's name for the language codes of the engine's LanguageType
    // (0 "english" ... 18 "bulgarian"); "english" for any other code.
    static const char* languageName(int code);

    std::string fileName;
    NSDictionary* current = nullptr;  // the chosen language; owned by `all`
    NSDictionary* all = nullptr;      // the whole file, retained
    std::string result;
};

// The translation of `key` in the table set with setLocalizedStringTable, as
// a copy; "" when no table is set yet. UI thread (it uses the table's result
// text).
std::string getLocalizedString(const char* key);
std::string getLocalizedString(const std::string& key);

// Points getLocalizedString at the process's table (the settings singleton's,
// right after it is loaded); null detaches it. A table that is destroyed
// detaches itself.
void setLocalizedStringTable(NSLanguage* table);

}  // namespace NSUI
