// Draws the button control's faces side by side, styles by row and states by
// column, so that a change to the painter can be judged at a glance.
#include "button_control/drawing/ButtonFace.h"

#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int buttonWidth = 120;
constexpr int buttonHeight = 40;
constexpr int gap = 14;
constexpr int labelWidth = 110;
constexpr int headerHeight = 28;
const QColor container(212, 208, 200);

// A small football on the mask colour, as a user would give the button.
QImage ballPicture() {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter painter(&image);
    painter.setPen(QColor(0, 0, 0));
    painter.setBrush(QColor(255, 255, 255));
    painter.drawEllipse(1, 1, 13, 13);
    painter.setBrush(QColor(0, 0, 0));
    painter.drawPolygon(QPolygon({{6, 5}, {9, 5}, {10, 8}, {7, 10}, {5, 8}}));
    return image;
}

QFont windowFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    return font;
}

struct State {
    const char* name;
    std::function<void(FaceInputs&)> apply;
};

const std::vector<State>& states() {
    static const std::vector<State> all = {
        {"resting", [](FaceInputs&) {}},
        {"hover", [](FaceInputs& in) { in.IsHover = 1; }},
        {"pressed",
         [](FaceInputs& in) {
             in.IsPressed = 1;
             in.IsHover = 1;
         }},
        {"focused", [](FaceInputs& in) { in.HasFocus = 1; }},
        {"default", [](FaceInputs& in) { in.isDefaultButton = true; }},
        {"disabled", [](FaceInputs& in) { in.Enabled = false; }},
        {"design mode", [](FaceInputs& in) { in.userMode = false; }},
    };
    return all;
}

FaceInputs button(int style, int width = buttonWidth, int height = buttonHeight) {
    FaceInputs in;
    in.width = width;
    in.height = height;
    in.ButtonStyle = style;
    in.Caption = QStringLiteral("&Save");
    in.font = windowFont();
    in.picture = Picture::bitmap(ballPicture());
    in.PictureWidth = 16;
    in.PictureHeight = 16;
    in.OriginalPicSizeW = 16;
    in.OriginalPicSizeH = 16;
    in.MaskColor = 0xFF00FF;
    return in;
}

// Puts one face on the sheet, cut to the window region for style 3 as the
// window system would show it.
// Above 1x the faces are drawn for the sheet's device pixels and cut their
// own corners.
double deviceRatio = 1.0;

void place(QPainter& painter, const FaceInputs& in, QPoint at) {
    FaceMemory memory;
    memory.surfaceBackColor = in.BackColor;
    const QImage face = PaintButtonFaceAt(in, memory, deviceRatio);
    painter.save();
    if (in.ButtonStyle == 3 && deviceRatio <= 1.0)
        painter.setClipRegion(MakeRoundRegion(in.width, in.height).translated(at));
    painter.drawImage(at, face);
    painter.restore();
}

void label(QPainter& painter, const QRect& box, const QString& text, int flags = Qt::AlignCenter) {
    painter.drawText(box, flags, text);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VESTREL_SHEET_PATH);
    // An optional device pixel ratio, to see the faces as a 150 % or 200 % desktop shows them.
    if (argc > 2)
        deviceRatio = std::max(1.0, QString::fromLocal8Bit(argv[2]).toDouble());

    const int columns = static_cast<int>(states().size());
    const int cellWidth = buttonWidth + gap;
    const int cellHeight = buttonHeight + gap;
    const int gridBottom = headerHeight + 5 * cellHeight;
    const int extrasHeight = 3 * (headerHeight + cellHeight) + 10;
    const QSize sheetSize(labelWidth + columns * cellWidth + gap, gridBottom + extrasHeight + gap);
    QImage sheet(sheetSize * deviceRatio, QImage::Format_RGB32);
    sheet.setDevicePixelRatio(deviceRatio);
    sheet.fill(container);
    QPainter painter(&sheet);
    painter.setPen(Qt::black);

    for (int c = 0; c < columns; ++c)
        label(painter, QRect(labelWidth + c * cellWidth, 0, buttonWidth, headerHeight),
              QString::fromLatin1(states()[static_cast<std::size_t>(c)].name));
    for (int style = 0; style <= 4; ++style) {
        const int top = headerHeight + style * cellHeight;
        label(painter, QRect(gap, top, labelWidth - gap, buttonHeight),
              QStringLiteral("ButtonStyle %1").arg(style), Qt::AlignVCenter | Qt::AlignLeft);
        for (int c = 0; c < columns; ++c) {
            FaceInputs in = button(style);
            states()[static_cast<std::size_t>(c)].apply(in);
            place(painter, in, QPoint(labelWidth + c * cellWidth, top));
        }
    }

    // Graded bevels of styles 0 and 1, each face captioned with its style and state.
    int top = gridBottom + headerHeight;
    label(painter, QRect(gap, top - headerHeight, 600, headerHeight),
          QStringLiteral("BEVEL 3, BEVELDEPTH 12"), Qt::AlignBottom | Qt::AlignLeft);
    const std::vector<std::pair<int, std::size_t>> bevelled = {{0, 0}, {0, 2}, {0, 3}, {1, 1},
                                                               {1, 2}, {1, 4}, {0, 5}};
    for (std::size_t c = 0; c < bevelled.size(); ++c) {
        const auto [style, state] = bevelled[c];
        FaceInputs in = button(style);
        in.picture.reset();
        in.BEVEL = 3;
        in.BEVELDEPTH = 12;
        in.Caption = QStringLiteral("%1 %2").arg(style).arg(QString::fromLatin1(states()[state].name));
        states()[state].apply(in);
        place(painter, in, QPoint(labelWidth + static_cast<int>(c) * cellWidth, top));
    }
    label(painter, QRect(gap, top, labelWidth - gap, buttonHeight), QStringLiteral("styles 0 and 1"),
          Qt::AlignVCenter | Qt::AlignLeft);

    top += cellHeight + headerHeight;
    label(painter, QRect(gap, top - headerHeight, 600, headerHeight),
          QStringLiteral("PicturePosition 0 to 3; style 2 with a border always; a long caption"),
          Qt::AlignBottom | Qt::AlignLeft);
    for (int position = 0; position <= 3; ++position) {
        FaceInputs in = button(0, buttonWidth, buttonHeight + (position % 3 == 0 ? 10 : 0));
        in.PicturePosition = position;
        place(painter, in, QPoint(labelWidth + position * cellWidth, top));
    }
    {
        FaceInputs in = button(2);
        in.XPShowBorderAlways = true;
        place(painter, in, QPoint(labelWidth + 4 * cellWidth, top));
        FaceInputs wrapped = button(0);
        wrapped.picture.reset();
        wrapped.Caption = QStringLiteral("Save the && ball table");
        place(painter, wrapped, QPoint(labelWidth + 5 * cellWidth, top));
    }

    top += cellHeight + 10 + headerHeight;
    label(painter, QRect(gap, top - headerHeight, 600, headerHeight),
          QStringLiteral("The window's buttons (style 3, no picture): Save 153 x 25, Add 89 x 25"),
          Qt::AlignBottom | Qt::AlignLeft);
    const std::vector<State> windowStates = {states()[0], states()[1], states()[2], states()[3], states()[5]};
    int x = labelWidth;
    for (const State& state : windowStates) {
        FaceInputs save = button(3, 153, 25);
        save.picture.reset();
        save.Caption = QStringLiteral("Save");
        state.apply(save);
        place(painter, save, QPoint(x, top));
        x += 153 + gap;
        if (x + 153 > sheetSize.width())
            break;
    }
    FaceInputs add = button(3, 89, 25);
    add.picture.reset();
    add.Caption = QStringLiteral("Add");
    add.Enabled = false;
    place(painter, add, QPoint(labelWidth, top + 25 + gap / 2));
    painter.end();

    if (!sheet.save(output)) {
        std::fprintf(stderr, "button_sheet: cannot write %s\n", qPrintable(output));
        return 1;
    }
    std::printf("%s\n", qPrintable(output));
    return 0;
}
