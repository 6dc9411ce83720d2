// Start-up and exit of the tray program, measured from outside the process: launch to the first
// paint of the status window, and the Exit command to the end of the process (reader stopped,
// Qt gone, static destruction done). Baseline: a bare Qt window in the same way.
// Each sample is a fresh child process (the application object lives once per process).
//   bench_shell_lifecycle [samples]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/pelmora.h"
#include "fakes/fake_serial.h"
#include "fakes/recording_sink.h"
#include "res/resource.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"

extern char** environ;

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);
CPelmora theApp(std::make_unique<fakes::FakeSerialApi>(std::make_shared<fakes::SerialLog>()),
                std::make_unique<fakes::RecordingKeySink>(std::make_shared<fakes::KeyLog>()));

namespace {

long long nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Reports when the watched widget is painted for the first time.
class FirstPaint : public QObject {
public:
    long long at = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && at == 0) {
            at = nowUs();
        }
        return false;
    }
};

// Child: prints "paint <us> exit <us>" (steady clock), then ends.
int child(int argc, char** argv, bool baseline) {
    QApplication framework(argc, argv);
    FirstPaint painted;
    long long exitAt = 0;
    if (baseline) {
        QWidget window;
        window.resize(480, 320);
        window.installEventFilter(&painted);
        window.show();
        QTimer::singleShot(300, [&] {
            exitAt = nowUs();
            QApplication::quit();
        });
        QApplication::exec();
    } else {
        AfxInitFramework();
        auto store = std::make_shared<util::MemorySettingsStore>();
        store->writeString("", ScannerSettings::DeviceName.name, "fake0");
        theConfig.setStore(store);
        theApp.m_trayIcon.SetAvailabilityProbe([] { return true; });
        if (!theApp.InitInstance()) {
            return 2;
        }
        static_cast<CMainFrame*>(theApp.m_pMainWnd)->m_view.m_hWnd->installEventFilter(&painted);
        theApp.OnShowMainWindow();
        QTimer::singleShot(300, [&] {
            exitAt = nowUs();
            theApp.m_pMainWnd->SendMessage(WM_COMMAND, ID_EXIT, 0);
        });
        theApp.Run();
        AfxTermFramework();
    }
    std::printf("paint %lld exit %lld\n", painted.at, exitAt);
    std::fflush(stdout);
    return 0;
}

struct Sample {
    double startMs;
    double exitMs;
};

bool sample(const char* self, const char* mode, Sample& out) {
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* args[] = {const_cast<char*>(self), const_cast<char*>(mode), nullptr};
    const long long launched = nowUs();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, self, &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return false;
    }
    std::string text;
    char buf[256];
    ssize_t n = 0;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) {
        text.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const long long ended = nowUs();
    long long paint = 0;
    long long exitAt = 0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(text.c_str(), "paint %lld exit %lld", &paint, &exitAt) != 2 || paint == 0) {
        return false;
    }
    out = {(paint - launched) / 1000.0, (ended - exitAt) / 1000.0};
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) {
        return child(argc, argv, false);
    }
    if (argc > 1 && std::strcmp(argv[1], "--baseline") == 0) {
        return child(argc, argv, true);
    }
    const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::printf("## Tray program start-up and exit (%s platform, median of %d processes)\n\n",
                std::getenv("QT_QPA_PLATFORM"), samples);
    std::printf("| Process | launch to first paint (ms) | Exit to process end (ms) |\n");
    std::printf("|---|---|---|\n");
    for (const char* mode : {"--baseline", "--child"}) {
        std::vector<double> start;
        std::vector<double> exit;
        for (int i = 0; i < samples; ++i) {
            Sample s{};
            if (!sample(argv[0], mode, s)) {
                std::fprintf(stderr, "sample failed (%s)\n", mode);
                return 1;
            }
            start.push_back(s.startMs);
            exit.push_back(s.exitMs);
        }
        std::printf("| %s | %.1f | %.1f |\n",
                    std::strcmp(mode, "--baseline") == 0 ? "bare Qt window (baseline)" : "pelmora",
                    median(start), median(exit));
    }
    std::printf("\n");
    return 0;
}
