#include "button_control/model/Button_XP.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>

// One full redraw of a window button (153 x 25, style 3, with its caption)
// through the widget: gathering the face inputs, painting, keeping the image.
static void FullRefreshOfAStyle3Button(benchmark::State& state) {
    QWidget window;
    Button_XP button(&window);
    button.setCaption(QStringLiteral("Save"));
    button.setButtonStyle(3);
    button.resize(153, 25);
    for (auto _ : state) {
        button.Refresh();
        benchmark::DoNotOptimize(button.face().constBits());
    }
    state.SetLabel("Refresh through the widget");
}
BENCHMARK(FullRefreshOfAStyle3Button)->Unit(benchmark::kMicrosecond);

// The painter alone with the same inputs, to show what the widget adds.
static void PainterAloneForTheSameButton(benchmark::State& state) {
    QWidget window;
    Button_XP button(&window);
    button.setCaption(QStringLiteral("Save"));
    button.setButtonStyle(3);
    button.resize(153, 25);
    const FaceInputs inputs = button.faceInputs();
    FaceMemory memory;
    for (auto _ : state) {
        QImage face = PaintButtonFace(inputs, memory);
        benchmark::DoNotOptimize(face.constBits());
    }
    state.SetLabel("PaintButtonFace alone");
}
BENCHMARK(PainterAloneForTheSameButton)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // On stderr, so that a JSON report on stdout stays clean.
    std::fprintf(stderr,
                 "Target: one full redraw of a 153 x 25 style-3 button under 25 us; the widget's share "
                 "(the difference of the two figures) small.\n");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
