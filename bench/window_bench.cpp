// The main window's share of Vestrel's work, on Qt's offscreen platform:
// filling and painting the ball list, selecting a ball, a keystroke in a box
// of the selected ball, and start-up to the first painted window beside a
// bare window of Qt's own widgets in the same number and places.
#include "common/BallFileBytes.h"
#include "common/FakePlatform.h"
#include "main_window/BallList.h"
#include "main_window/FrmMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>

namespace {

constexpr int smallTable = 40;
constexpr int fullTable = 32767;

QStringList numberedLines(int count) {
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i)
        lines << QString::number(i + 1) + QStringLiteral(" : Ball %1").arg(i);
    return lines;
}

// "zlibtool" kept in-process, so that only the window's own work is timed:
// `<file> -d` unpacks a Qt-compressed ball file into <file>.unzlib.
int inProcessTool(const QString&, const QStringList& arguments) {
    if (arguments.size() != 2)
        return 1;
    const QByteArray unpacked = qUncompress(BallFileBytes::readFile(arguments.first()));
    return BallFileBytes::writeFile(arguments.first() + QStringLiteral(".unzlib"), unpacked) ? 0 : 1;
}

// The real window with a game file of `balls` balls opened through File > Open.
class OpenWindow {
public:
    explicit OpenWindow(int balls) {
        QDir(m_appDir.path()).mkpath(QStringLiteral("zlib/temp"));
        m_fake.processes.replacement = &inProcessTool;
        QByteArray unpacked = BallFileBytes::header(balls * 72);
        for (int i = 0; i < balls; ++i)
            unpacked +=
                BallFileBytes::record("Ball " + QByteArray::number(i), std::int16_t(i % 15000 + 1), 5, 16, 0);
        const QString game = m_gameDir.filePath(QStringLiteral("unnamed_1964.bin"));
        BallFileBytes::writeFile(game, qCompress(unpacked));
        window = std::make_unique<FrmMain>(m_fake.platform,
                                           QDir::toNativeSeparators(m_appDir.path()) + QDir::separator());
        window->show();
        (void)QTest::qWaitForWindowExposed(window.get());
        m_fake.fileDialog.answers.push_back(game);
        window->findChild<QAction*>(QStringLiteral("MnuFileOpen"))->trigger();
        QCoreApplication::processEvents();
    }
    BallListView* list() const { return window->findChild<BallListView*>(QStringLiteral("List1")); }
    QLineEdit* box(const QString& name) const { return window->findChild<QLineEdit*>(name); }

    std::unique_ptr<FrmMain> window;

private:
    FakePlatform m_fake;
    QTemporaryDir m_appDir;
    QTemporaryDir m_gameDir;
};

// Building the list lines from the table and showing them, painted.
void BM_FillAndPaintList(benchmark::State& state) {
    const int balls = static_cast<int>(state.range(0));
    OpenWindow open(balls);
    BallListView* view = open.list();
    auto* model = qobject_cast<BallListModel*>(view->model());
    const Baza& table = open.window->table();
    for (auto _ : state) {
        QStringList lines;
        lines.reserve(table.Count());
        for (int i = 0; i < table.Count(); ++i)
            lines.append(QString::number(i + 1) + QStringLiteral(" : ") + table.Get_Nazwa(i));
        model->setLines(std::move(lines));
        QCoreApplication::processEvents(); // the view's delayed layout and the paint
        view->viewport()->repaint();
    }
    state.SetLabel("list model of ours, uniform line heights");
}
BENCHMARK(BM_FillAndPaintList)->Arg(smallTable)->Arg(fullTable)->Unit(benchmark::kMillisecond);

// For comparison: what a default QListWidget costs for the same lines.
void BM_FillAndPaintList_DefaultListWidget(benchmark::State& state) {
    const QStringList lines = numberedLines(static_cast<int>(state.range(0)));
    QListWidget list;
    list.resize(337, 368);
    list.show();
    (void)QTest::qWaitForWindowExposed(&list);
    for (auto _ : state) {
        list.clear();
        list.addItems(lines);
        QCoreApplication::processEvents();
        list.viewport()->repaint();
    }
    state.SetLabel("reference only, not used by Vestrel");
}
BENCHMARK(BM_FillAndPaintList_DefaultListWidget)->Arg(fullTable)->Unit(benchmark::kMillisecond);

// Selecting a ball in a full list, painted before the next: the next line
// down (as the arrow key does), or a jump between the two ends of the list,
// which scrolls and repaints every visible line.
void BM_SelectBall(benchmark::State& state) {
    const bool jump = state.range(1) != 0;
    OpenWindow open(static_cast<int>(state.range(0)));
    int step = 0;
    for (auto _ : state) {
        const int row = jump ? (step % 2 == 0 ? step % 1000 : fullTable - 1 - step % 1000) : 16000 + step % 2;
        open.window->setListIndex(row);
        QCoreApplication::processEvents();
        ++step;
    }
    state.SetLabel(jump ? "jump between the ends" : "neighbouring line");
}
BENCHMARK(BM_SelectBall)
    ->ArgsProduct({{fullTable}, {0, 1}})
    ->ArgNames({"balls", "jump"})
    ->Unit(benchmark::kMicrosecond);

// One keystroke in a box of the selected ball, alternately a character and
// a backspace, with the repaint it causes (the list line for the name box).
void BM_Keystroke(benchmark::State& state) {
    static const char* const boxes[] = {"Txt0", "Txt1", "Txt2", "Txt3"};
    const int box = static_cast<int>(state.range(0));
    OpenWindow open(static_cast<int>(state.range(1)));
    open.window->setListIndex(open.window->ListCount() / 2);
    QCoreApplication::processEvents();
    QLineEdit* edit = open.box(QLatin1String(boxes[box]));
    edit->setFocus();
    edit->end(false);
    bool typed = false;
    for (auto _ : state) {
        QTest::keyClick(edit, typed ? Qt::Key_Backspace : Qt::Key_7);
        QCoreApplication::processEvents();
        typed = !typed;
    }
    state.SetLabel(boxes[box]);
}
BENCHMARK(BM_Keystroke)
    ->ArgsProduct({{0, 1, 2, 3}, {smallTable, fullTable}})
    ->ArgNames({"box", "balls"})
    ->Unit(benchmark::kMicrosecond);

// For comparison: rewriting one line under a uniform-height QListView that
// lays out all lines again, as QListView does by itself.
void BM_RewriteOneLine_PlainListView(benchmark::State& state) {
    QStringListModel model(numberedLines(fullTable));
    QListView view;
    view.setUniformItemSizes(true);
    view.setModel(&model);
    view.resize(337, 368);
    view.show();
    (void)QTest::qWaitForWindowExposed(&view);
    const QModelIndex line = model.index(5);
    bool flip = false;
    for (auto _ : state) {
        model.setData(line, flip ? QStringLiteral("6 : a") : QStringLiteral("6 : b"));
        QCoreApplication::processEvents();
        flip = !flip;
    }
    state.SetLabel("reference only, not used by Vestrel");
}
BENCHMARK(BM_RewriteOneLine_PlainListView)->Unit(benchmark::kMicrosecond);

// Counts paint events, so that start-up is timed to a painted window.
class PaintCounter final : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void waitForPaint(QWidget& window, QWidget* watched) {
    PaintCounter counter;
    watched->installEventFilter(&counter);
    window.show();
    while (counter.paints == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    watched->removeEventFilter(&counter);
}

// Qt's own widgets in the same number and places, with the same menus and a
// picture of the same size, without any of Vestrel's code: group boxes for
// the frames, push buttons for the buttons, a string list for the list.
std::unique_ptr<QMainWindow> bareWindow() {
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("bare"));
    for (const char* menuName : {"File", "Info", "About"}) {
        QMenu* menu = window->menuBar()->addMenu(QLatin1String(menuName));
        QMenu* sub = menu->addMenu(QStringLiteral("sub"));
        for (int i = 0; i < 3; ++i) {
            sub->addAction(QStringLiteral("entry"))
                ->setShortcut(QKeySequence(QStringLiteral("Ctrl+%1").arg(i)));
            sub->addSeparator();
        }
    }
    auto* client = new QWidget(window.get());
    client->setFixedSize(814, 411);
    window->setCentralWidget(client);
    auto* left = new QGroupBox(QStringLiteral("List"), client);
    left->setGeometry(8, 8, 353, 393);
    auto* model = new QStringListModel(left);
    auto* list = new QListView(left);
    list->setModel(model);
    list->setGeometry(8, 16, 337, 368);
    auto* right = new QGroupBox(QStringLiteral("Value"), client);
    right->setGeometry(368, 8, 441, 393);
    auto* panel = new QWidget(right);
    panel->setGeometry(8, 16, 425, 369);
    for (int i = 0; i < 8; ++i) {
        auto* frame = new QGroupBox(QStringLiteral("Frame"), panel);
        frame->setGeometry(8 + (i % 3) * 100, 8 + (i / 3) * 60, 90, 50);
        if (i < 6)
            (new QLineEdit(frame))->setGeometry(8, 16, 41, 19);
        if (i < 2)
            (new QLabel(QStringLiteral("..."), frame))->move(50, 16);
    }
    (new QPushButton(QStringLiteral("Save"), panel))->setGeometry(152, 24, 153, 25);
    (new QPushButton(QStringLiteral("Add"), panel))->setGeometry(8, 64, 89, 25);
    QPixmap picture(265, 184);
    picture.fill(Qt::white);
    auto* image = new QLabel(panel);
    image->setPixmap(picture);
    image->setGeometry(64, 200, 265, 184);
    return window;
}

struct Clocks {
    double wall;
    double cpu;
};

Clocks now() {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    const auto wall = std::chrono::steady_clock::now().time_since_epoch();
    return {std::chrono::duration<double>(wall).count(), double(cpu.tv_sec) + double(cpu.tv_nsec) * 1e-9};
}

template <class Make> Clocks timeToFirstPaint(Make make) {
    const Clocks start = now();
    auto window = make();
    waitForPaint(*window, window->centralWidget());
    const Clocks end = now();
    window.reset();
    QCoreApplication::processEvents();
    return {end.wall - start.wall, end.cpu - start.cpu};
}

// Start-up of the real window and of the bare one, side by side in every
// iteration (their order alternating), so that both see the same machine.
// The time reported is FrmMain's; the counters give the bare window's and
// the ratios of the two, by wall clock and by CPU time.
void BM_StartupToFirstPaint(benchmark::State& state) {
    FakePlatform fake;
    QTemporaryDir appDir;
    QDir(appDir.path()).mkpath(QStringLiteral("zlib/temp"));
    const QString appPath = QDir::toNativeSeparators(appDir.path()) + QDir::separator();
    const auto makeMain = [&] { return std::make_unique<FrmMain>(fake.platform, appPath); };
    Clocks mainTotal{0, 0};
    Clocks bareTotal{0, 0};
    bool mainFirst = true;
    for (auto _ : state) {
        Clocks mainTime{};
        Clocks bareTime{};
        if (mainFirst) {
            mainTime = timeToFirstPaint(makeMain);
            bareTime = timeToFirstPaint(bareWindow);
        } else {
            bareTime = timeToFirstPaint(bareWindow);
            mainTime = timeToFirstPaint(makeMain);
        }
        mainFirst = !mainFirst;
        state.SetIterationTime(mainTime.wall);
        mainTotal = {mainTotal.wall + mainTime.wall, mainTotal.cpu + mainTime.cpu};
        bareTotal = {bareTotal.wall + bareTime.wall, bareTotal.cpu + bareTime.cpu};
    }
    const double n = double(state.iterations());
    state.counters["bare_ms"] = bareTotal.wall / n * 1e3;
    state.counters["wall_ratio"] = mainTotal.wall / bareTotal.wall;
    state.counters["cpu_ratio"] = mainTotal.cpu / bareTotal.cpu;
    state.SetLabel(QStringLiteral("FrmMain vs bare Qt window: %1x wall, %2x CPU (target 1.3x)")
                       .arg(mainTotal.wall / bareTotal.wall, 0, 'f', 2)
                       .arg(mainTotal.cpu / bareTotal.cpu, 0, 'f', 2)
                       .toStdString());
}
BENCHMARK(BM_StartupToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
