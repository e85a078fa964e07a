#pragma once

#include <QString>

// The program speaks French or English. The language is the number stored
// under "Langue" in the parameters file: 1 is French, any other value English.
// Every text of both languages is chosen here, through pickText.
namespace config {

inline constexpr int kFrench = 1;
inline constexpr int kEnglish = 0;

constexpr bool isFrench(int language) {
    return language == kFrench;
}

// The text of the given language (char texts are UTF-8). Texts that must be
// checked in both languages whatever the run speaks take the language.
QString pickText(int language, const QString& french, const QString& english);
QString pickText(int language, const char* french, const char* english);

// The language of the run: settings().language, its one home, read from the
// parameters file at start-up and changed by the language menu.
int language();
void setLanguage(int language);

// The text of the language of the run.
QString pickText(const QString& french, const QString& english);
QString pickText(const char* french, const char* english);

} // namespace config
