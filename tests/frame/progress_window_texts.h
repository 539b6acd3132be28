// The progress window's texts in each of the library's languages, as its dialog template holds
// them, and the question its Cancel button asks (string 1). UTF-8; a test that reads them from
// a window converts them to the ANSI code page first.
#pragma once

#include <cstdint>

#include "quor_inet/resources/string_table.h"

namespace quor::test {

struct ProgressWindowTexts {
    uint16_t language;
    const char* caption;
    const char* from;
    const char* to;
    const char* remaining;
    const char* speed;
    const char* progress;
    const char* button;
    const char* confirm;
};

inline constexpr ProgressWindowTexts kProgressWindowTexts[] = {
    {kLangEnglish, "Downloading...", "from", "to", "Estimated remaining time:", "Speed:",
     "Progress:", "Cancel", "Do you really want to Cancel ?"},
    {kLangGerman, "Downloaden...", "von", "nach", "Geschätzte Restzeit:", "Gewschwindigkeit:",
     "Fortschritt:", "Abbrechen", "Wollen Sie wirklich abbrechen ?"},
    {kLangFrench, "Téléchargement...", "de", "vers", "Temps restant estimé:", "Vitesse:",
     "Avancement:", "Annuler", "Voulez-vous vraiment annuller?"},
    {kLangItalian, "Scaricamento...", "da", "a",
     "Tempo rimanente stimato:", "Velocità:", "Avanzamento:", "Annulla", "Annullare?"},
    {kLangSpanishMexico, "Descargando...", "de", "a", "Tiempo restante estimado:", "Velocidad:",
     "Progreso:", "Cancelar", "¿Está seguro que quiere Cancelar ?"},
};

// Null for a language the library does not have.
inline const ProgressWindowTexts* ProgressWindowTextsFor(uint16_t language) {
    for (const ProgressWindowTexts& t : kProgressWindowTexts) {
        if (t.language == language) {
            return &t;
        }
    }
    return nullptr;
}

}  // namespace quor::test
