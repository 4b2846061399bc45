#include "ButtonFace.h"

QImage PaintButtonFace(const FaceInputs& inputs, FaceMemory& memory)
{
    (void)memory;
    QImage image(qMax(inputs.width, 0), qMax(inputs.height, 0), QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QRegion MakeRoundRegion(int width, int height)
{
    return QRegion(0, 0, qMax(width, 0), qMax(height, 0));
}
