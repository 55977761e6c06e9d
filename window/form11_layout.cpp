#include "window/form11_layout.h"

namespace window::form11_layout {

std::string AccessibleName(const ControlSpec& control) {
    if (control.kind == Kind::Field) {
        const char row = control.name.front();
        std::string name(1, row >= 'a' && row <= 'z' ? static_cast<char>(row - 'a' + 'A') : row);
        name += control.name.ends_with("_delta") ? " PLC address" : " Modbus address";
        return name;
    }
    std::string name;
    for (std::size_t i = 0; i < control.text.size(); ++i) {
        if (control.text[i] == '&' && i + 1 < control.text.size()) {
            ++i;  // "&&" leaves one "&"
        }
        name += control.text[i];
    }
    return name;
}

std::vector<FixedText> FixedTexts() {
    std::vector<FixedText> texts;
    for (const ControlSpec& control : kLayout) {
        const int width = TwipsToPixels(control.place.width);
        const int height = TwipsToPixels(control.place.height);
        switch (control.kind) {
            case Kind::Frame:  // its caption sits on its top edge like a label
                texts.push_back({control.text, FixedText::Kind::Label,
                                 width - 2 * TwipsToPixels(kCaptionInset), height});
                break;
            case Kind::Label:
                texts.push_back({control.text, FixedText::Kind::Label, width, height});
                break;
            case Kind::Option:
                texts.push_back({control.text, FixedText::Kind::Option, width, height});
                break;
            case Kind::Button:
                texts.push_back({control.text, FixedText::Kind::Button, width, height});
                break;
            case Kind::Field:
                break;
        }
    }
    return texts;
}

}  // namespace window::form11_layout
