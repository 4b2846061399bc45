#include "button_control/drawing/ButtonFace.h"

#include "button_control/drawing/FacePainter.h"

QImage PaintButtonFace(const FaceInputs& inputs, FaceMemory& memory) {
    DrawSurface surface(inputs.width, inputs.height);
    FacePainter painter(inputs, memory, surface);
    painter.Clear();
    painter.SetFaceColor();
    if (inputs.ButtonStyle != 4)
        painter.DrawBorder();
    painter.CalcLayout();
    painter.DrawPicture();
    if (inputs.HasFocus == 1 && inputs.ShowFocusRect && inputs.ButtonStyle != 3)
        painter.DrawFocusRectangle();
    painter.DrawCaption();
    painter.KeepLayout();
    return surface.takeImage();
}
