#include "ui/start_up.h"

#include "ui/form11.h"
#include "ui/frm_about.h"
#include "ui/layout_font.h"

namespace ui {

std::vector<FixedText> BothWindowsTexts() {
    std::vector<FixedText> texts = Form11::FixedTexts();
    const std::vector<FixedText> about = frmAbout::FixedTexts();
    texts.insert(texts.end(), about.begin(), about.end());
    return texts;
}

void FitFontToBothWindows() {
    FitApplicationFont(BothWindowsTexts());
}

}  // namespace ui
