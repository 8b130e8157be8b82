#include "base/TextGate.h"

#include "base/AnsiCodePage.h"
#include "base/Types.h"

namespace tavorin {

GatedText PassTextGate(std::u16string_view text) {
    GatedText gated{NormalizeNFC(text), std::nullopt};
    gated.refused = AnsiCodePage::FirstUnrepresentable(gated.text);
    if (gated.refused) {
        SecureWipe(gated.text);
        gated.text.clear();
    }
    return gated;
}

}  // namespace tavorin
