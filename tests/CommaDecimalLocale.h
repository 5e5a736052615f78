#pragma once
// For the scope, LC_NUMERIC of a locale that writes one and a quarter as
// "1,25": what the GUI toolkit leaves behind on a German desktop. Tests skip
// (saying why) only when the machine has no such locale.
#include <clocale>
#include <string>

namespace fw::test {

class CommaDecimalLocale {
public:
    CommaDecimalLocale()
    {
        const char* old = std::setlocale(LC_NUMERIC, nullptr);
        m_old = old ? old : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
            if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',') {
                m_active = true;
                return;
            }
        std::setlocale(LC_NUMERIC, m_old.c_str());
    }
    ~CommaDecimalLocale() { std::setlocale(LC_NUMERIC, m_old.c_str()); }
    CommaDecimalLocale(const CommaDecimalLocale&) = delete;
    CommaDecimalLocale& operator=(const CommaDecimalLocale&) = delete;

    bool active() const { return m_active; }
    static const char* missing() { return "no comma-decimal locale (de_DE.UTF-8) here; scripts/setup makes one"; }

private:
    std::string m_old;
    bool m_active = false;
};

} // namespace fw::test
