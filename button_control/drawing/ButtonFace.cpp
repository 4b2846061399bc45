#include "button_control/drawing/ButtonFace.h"

#include "button_control/drawing/FacePainter.h"

QImage PaintButtonFace(const FaceInputs& inputs, FaceMemory& memory) {
    DrawSurface surface(inputs.width, inputs.height);
    FacePainter painter(inputs, memory, surface);
    painter.DrawFrameAndLayout();
    painter.DrawPicture();
    if (ShowsFocusRectangle(inputs))
        painter.DrawFocusRectangle();
    painter.DrawCaption();
    painter.KeepLayout();
    return surface.takeImage();
}

void FacePainter::DrawFrameAndLayout() {
    Clear();
    SetFaceColor();
    if (in.ButtonStyle != 4)
        DrawBorder();
    CalcLayout();
}

bool ShowsFocusRectangle(const FaceInputs& inputs) {
    return inputs.HasFocus == 1 && inputs.ShowFocusRect && inputs.ButtonStyle != 3;
}
