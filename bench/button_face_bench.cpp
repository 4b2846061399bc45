// One whole redraw of the window's Save button (style 3, 153 x 25, caption
// "Save" in the window's font), the work done on every hover, press and
// focus change. Target: under 25 microseconds.
#include "button_control/drawing/ButtonFace.h"
#include "button_control/drawing/FacePainter.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

FaceInputs saveButton() {
    FaceInputs in;
    in.width = 153;
    in.height = 25;
    in.ButtonStyle = 3;
    in.Caption = QStringLiteral("Save");
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    in.font = font;
    return in;
}

void runRedraws(benchmark::State& state, const FaceInputs& in) {
    FaceMemory memory;
    memory.surfaceBackColor = in.BackColor;
    for (auto _ : state) {
        QImage face = PaintButtonFace(in, memory);
        benchmark::DoNotOptimize(face);
    }
    state.SetLabel("target < 25 us");
}

void BM_ButtonFaceStyle3Resting(benchmark::State& state) {
    runRedraws(state, saveButton());
}
BENCHMARK(BM_ButtonFaceStyle3Resting)->Unit(benchmark::kMicrosecond);

void BM_ButtonFaceStyle3Hovered(benchmark::State& state) {
    FaceInputs in = saveButton();
    in.IsHover = 1;
    in.HasFocus = 1;
    runRedraws(state, in);
}
BENCHMARK(BM_ButtonFaceStyle3Hovered)->Unit(benchmark::kMicrosecond);

void BM_ButtonFaceStyle3Pressed(benchmark::State& state) {
    FaceInputs in = saveButton();
    in.IsPressed = 1;
    runRedraws(state, in);
}
BENCHMARK(BM_ButtonFaceStyle3Pressed)->Unit(benchmark::kMicrosecond);

// The same redraw for a screen at 200 %: the 1x frame resampled to device
// pixels, caption drawn at device resolution; beside the 1x figures above.
void BM_ButtonFaceStyle3AtRatio2(benchmark::State& state) {
    const FaceInputs in = saveButton();
    FaceMemory memory;
    memory.surfaceBackColor = in.BackColor;
    for (auto _ : state) {
        QImage face = PaintButtonFaceAt(in, memory, 2.0);
        benchmark::DoNotOptimize(face);
    }
    state.SetLabel("device pixels");
}
BENCHMARK(BM_ButtonFaceStyle3AtRatio2)->Unit(benchmark::kMicrosecond);

// The parts on their own, to show where the time goes.
void BM_ButtonFaceStyle3WithoutCaption(benchmark::State& state) {
    FaceInputs in = saveButton();
    in.Caption.clear();
    runRedraws(state, in);
    state.SetLabel("face only");
}
BENCHMARK(BM_ButtonFaceStyle3WithoutCaption)->Unit(benchmark::kMicrosecond);

void BM_CaptionMeasure(benchmark::State& state) {
    const FaceInputs in = saveButton();
    for (auto _ : state)
        benchmark::DoNotOptimize(MeasureCaptionText(in.Caption, in.font, 145));
    state.SetLabel("part of a redraw");
}
BENCHMARK(BM_CaptionMeasure)->Unit(benchmark::kMicrosecond);

void BM_CaptionDraw(benchmark::State& state) {
    const FaceInputs in = saveButton();
    DrawSurface surface(153, 25);
    for (auto _ : state)
        DrawCaptionText(surface, {60, 6, 92, 19}, in.Caption, in.font, 0);
    state.SetLabel("part of a redraw");
}
BENCHMARK(BM_CaptionDraw)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
