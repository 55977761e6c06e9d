// The main window's "PLC type" frame: a group box whose caption sits on its top edge.
#pragma once

#include <QGroupBox>

#include "ui/layout.h"
#include "window/form11_layout.h"

namespace ui {

// Some styles (Fusion among them) draw a group box's title above its frame line, which leaves the
// controls placed inside the frame squeezed against its top. This one draws the caption on the top
// edge, with the frame line running through the caption's middle, as the window's layout expects.
class CaptionedFrame : public QGroupBox {
  public:
    // The caption starts this far from the frame's left edge and keeps as far from its right edge.
    static constexpr int kCaptionInset = TwipsToPixels(window::form11_layout::kCaptionInset);

    using QGroupBox::QGroupBox;

    // Where the caption is drawn from its top-left corner, in the frame's own pixels; text beyond
    // it is cut off.
    QRect CaptionRoom() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ui
