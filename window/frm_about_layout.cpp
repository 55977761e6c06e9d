#include "window/frm_about_layout.h"

namespace window::frm_about_layout {

namespace {

// A box in whole pixels, its right and bottom edges inside it.
struct PixelBox {
    int left;
    int top;
    int right;
    int bottom;
};

PixelBox ToPixelBox(TwipRect r) noexcept {
    const int left = TwipsToPixels(r.left);
    const int top = TwipsToPixels(r.top);
    return {left, top, left + TwipsToPixels(r.width) - 1, top + TwipsToPixels(r.height) - 1};
}

bool Overlap(const PixelBox& a, const PixelBox& b) noexcept {
    return a.left <= a.right && a.top <= a.bottom && b.left <= b.right && b.top <= b.bottom &&
           a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

}  // namespace

int VisibleWidth(const ControlSpec& label) noexcept {
    PixelBox visible = ToPixelBox(label.place);
    for (const std::size_t index : kFromTop) {
        const ControlSpec& above = kLayout[index];
        if (above.name == label.name) {
            break;
        }
        const PixelBox cover = ToPixelBox(above.place);
        if (above.kind == Kind::Label && Overlap(cover, visible) && cover.left > visible.left) {
            visible.right = cover.left - 1;
        }
    }
    return visible.right - visible.left + 1;
}

std::vector<FixedText> FixedTexts() {
    std::vector<FixedText> texts;
    for (const ControlSpec& control : kLayout) {
        if (control.kind == Kind::Label) {
            texts.push_back({control.text, FixedText::Kind::Label, VisibleWidth(control),
                             TwipsToPixels(control.place.height)});
        } else if (control.kind == Kind::Button) {
            texts.push_back({control.text, FixedText::Kind::Button,
                             TwipsToPixels(control.place.width),
                             TwipsToPixels(control.place.height)});
        }
    }
    return texts;
}

}  // namespace window::frm_about_layout
