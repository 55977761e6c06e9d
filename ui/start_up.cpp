#include "ui/start_up.h"

#include "ui/layout_font.h"
#include "window/form11_layout.h"
#include "window/frm_about_layout.h"

namespace ui {

std::vector<FixedText> BothWindowsTexts() {
    std::vector<FixedText> texts = window::form11_layout::FixedTexts();
    const std::vector<FixedText> about = window::frm_about_layout::FixedTexts();
    texts.insert(texts.end(), about.begin(), about.end());
    return texts;
}

void FitFontToBothWindows() {
    FitApplicationFont(BothWindowsTexts());
}

}  // namespace ui
