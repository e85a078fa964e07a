#include "config/Language.h"
#include "config/Settings.h"

namespace config {

QString pickText(int language, const QString& french, const QString& english) {
    return isFrench(language) ? french : english;
}

QString pickText(int language, const char* french, const char* english) {
    return QString::fromUtf8(isFrench(language) ? french : english);
}

int language() {
    return settings().language;
}

void setLanguage(int language) {
    settings().language = language;
}

QString pickText(const QString& french, const QString& english) {
    return pickText(language(), french, english);
}

QString pickText(const char* french, const char* english) {
    return pickText(language(), french, english);
}

} // namespace config
