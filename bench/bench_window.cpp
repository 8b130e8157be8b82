// The window's Encrypt and Decrypt of large messages, clicked as a user clicks them, against
// tavorin-cli doing the same work (the same message, cipher and key, through files) in the
// same run. Prints window / command-line ratios; the target is 1.5 or less. Also counts how
// often the window painted its progress during one command and the longest stretch
// without a paint or a yield, so a frozen window shows.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "desktop/qt/Platform.h"
#include "desktop/qt/Text.h"
#include "desktop/qt/frmMain.h"

using namespace tavorin;

namespace {

constexpr const char* Cipher = "Blowfish";
constexpr const char* Key = "a long bench key";

// Ordinary text with line breaks, exactly size characters.
QString Message(int size) {
    QString text;
    text.reserve(size);
    const QString line = QStringLiteral("Meet me at the old mill at ten; bring the papers and 42 coins.\n");
    while (text.size() + line.size() <= size) {
        text += line;
    }
    text += QString(size - text.size(), QLatin1Char('.'));
    return text;
}

// Paints of the progress bar during a command, and the longest time without a paint
// of anything in the window or a yield to the event loop.
class Watch : public QObject {
public:
    int progressPaints = 0;
    qint64 longestGapNs = 0;

    void Start() {
        progressPaints = 0;
        longestGapNs = 0;
        clock_.start();
        last_ = 0;
    }
    void Mark() {
        const qint64 now = clock_.nsecsElapsed();
        longestGapNs = std::max(longestGapNs, now - last_);
        last_ = now;
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            progressPaints += watched->objectName() == QStringLiteral("prgWork");
            Mark();
        }
        return false;
    }

private:
    QElapsedTimer clock_;
    qint64 last_ = 0;
};

struct Fixture {
    Desktop desktop;
    std::unique_ptr<frmMain> window;
    Watch watch;
    QTemporaryDir folder;
    std::map<int, QString> messages;
    std::map<int, QString> envelopes;

    Fixture() {
        window = std::make_unique<frmMain>(desktop);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) {
            std::fprintf(stderr, "the window was not shown; timings include its first paint\n");
        }
        auto* ciphers = window->findChild<QComboBox*>(QStringLiteral("cboEncryption"));
        ciphers->setCurrentIndex(ciphers->findText(QString::fromLatin1(Cipher)));
        window->findChild<QLineEdit*>(QStringLiteral("txtEncKey"))->setText(QString::fromLatin1(Key));
        for (QWidget* child : window->findChildren<QWidget*>()) {
            child->installEventFilter(&watch);
        }
        qputenv("TAVORIN_BENCH_KEY", Key);
    }

    const QString& MessageOf(int size) {
        auto& m = messages[size];
        if (m.isEmpty()) {
            m = Message(size);
            Write(QStringLiteral("message-%1.txt").arg(size), m);
        }
        return m;
    }

    const QString& EnvelopeOf(int size) {
        auto& e = envelopes[size];
        if (e.isEmpty()) {
            window->SetMessageText(ToU16(MessageOf(size)));
            Click("cmdEncrypt");
            e = ToQString(window->MessageText());
            Write(QStringLiteral("envelope-%1.txt").arg(size), e);
        }
        return e;
    }

    void Write(const QString& name, const QString& text) {
        QFile file(folder.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
    }

    void Click(const char* button) { window->findChild<QPushButton*>(QString::fromLatin1(button))->click(); }

    bool Cli(const char* command, const QString& input, const QString& output) {
        QProcess cli;
        cli.start(QStringLiteral(TAVORIN_CLI_PATH),
                  {QString::fromLatin1(command), QStringLiteral("--force"), QStringLiteral("-c"),
                   QString::fromLatin1(Cipher), QStringLiteral("--key-env"), QStringLiteral("TAVORIN_BENCH_KEY"),
                   QStringLiteral("-i"), folder.filePath(input), QStringLiteral("-o"), folder.filePath(output)});
        return cli.waitForFinished(-1) && cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0;
    }
};

Fixture* fixture = nullptr;

void WindowCommand(benchmark::State& state, bool encrypt) {
    const int size = static_cast<int>(state.range(0));
    const std::u16string input = ToU16(encrypt ? fixture->MessageOf(size) : fixture->EnvelopeOf(size));
    const std::u16string expected = encrypt ? std::u16string() : ToU16(fixture->MessageOf(size));
    int paints = 0;
    qint64 gap = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fixture->window->SetMessageText(input);
        QCoreApplication::processEvents();
        fixture->watch.Start();
        state.ResumeTiming();
        fixture->Click(encrypt ? "cmdEncrypt" : "cmdDecrypt");
        QCoreApplication::processEvents();  // the result painted
        state.PauseTiming();
        fixture->watch.Mark();
        paints = std::max(paints, fixture->watch.progressPaints);
        gap = std::max(gap, fixture->watch.longestGapNs);
        const std::u16string result = fixture->window->MessageText();
        if (encrypt ? result.size() < 3 * input.size() : result != expected) {
            state.SkipWithError("the window's result is wrong");
        }
        state.ResumeTiming();
    }
    state.counters["progress_paints"] = paints;
    state.counters["longest_gap_ms"] = static_cast<double>(gap) / 1e6;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void CliCommand(benchmark::State& state, bool encrypt) {
    const int size = static_cast<int>(state.range(0));
    if (encrypt) {
        fixture->MessageOf(size);
    } else {
        fixture->EnvelopeOf(size);
    }
    const QString input = (encrypt ? QStringLiteral("message-%1.txt") : QStringLiteral("envelope-%1.txt")).arg(size);
    for (auto _ : state) {
        if (!fixture->Cli(encrypt ? "encrypt" : "decrypt", input, QStringLiteral("out.txt"))) {
            state.SkipWithError("tavorin-cli failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void BM_WindowEncrypt(benchmark::State& state) { WindowCommand(state, true); }
void BM_CliEncrypt(benchmark::State& state) { CliCommand(state, true); }
void BM_WindowDecrypt(benchmark::State& state) { WindowCommand(state, false); }
void BM_CliDecrypt(benchmark::State& state) { CliCommand(state, false); }

constexpr int MiB = 1 << 20;
#define TAVORIN_SIZES ->Arg(1 * MiB)->Arg(4 * MiB)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_WindowEncrypt) TAVORIN_SIZES;
BENCHMARK(BM_CliEncrypt) TAVORIN_SIZES;
BENCHMARK(BM_WindowDecrypt) TAVORIN_SIZES;
BENCHMARK(BM_CliDecrypt) TAVORIN_SIZES;

// Keeps each run's time so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    KeepLargeBuffers();  // as the program's main does
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture shared;
    fixture = &shared;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nwindow / tavorin-cli (target <= 1.5):\n");
    for (const char* direction : {"Encrypt", "Decrypt"}) {
        for (const int size : {1 * MiB, 4 * MiB}) {
            const std::string suffix = "/" + std::to_string(size) + "/iterations:3/real_time";
            const auto window = reporter.times.find("BM_Window" + std::string(direction) + suffix);
            const auto cli = reporter.times.find("BM_Cli" + std::string(direction) + suffix);
            if (window != reporter.times.end() && cli != reporter.times.end()) {
                std::printf("  %s %d MiB: %.2f\n", direction, size / MiB, window->second / cli->second);
            }
        }
    }
    fixture = nullptr;
    benchmark::Shutdown();
    return 0;
}
