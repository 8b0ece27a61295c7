// Times the Sort button end to end (cmdGo_Click, then the event loop until the window has shown
// the result) against SortListText alone on the same list, at several sizes, for a line-per-item
// list and a comma-separated one. Prints both times (best of the runs, which alternate), their
// ratio, the ratio of the CPU time both take (all threads; less moved by other load), the longest
// time the window's thread answered no event during a click (a 5 ms timer's longest gap, in the
// best run), the time Ctrl+A takes to select the whole result and the window process's peak
// resident memory per case.
// First it times the window's start (construct, show, lay out and paint) with a long separator
// stored in Prefs.ini against a start with the default separator.
// Usage: frm_main_bench [--sizes 10000,100000,1000000] [--repeat N] [--separator-kb K] [--shape NAME]
// --shape takes a list shape of the sorting benchmarks (organ, adversary, ...) instead of the
// random mixed-case words.

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "prefs/mod_standard.h"
#include "sorting/bench/list_shapes.h"
#include "sorting/sort_list.h"
#include "window/frm_main.h"
#include "window/listbox/list_text_box.h"
#include "window/window_services.h"

namespace {

// Items of 3 to 12 letters of mixed case, so a million of them make about 8.5 MB of list text.
std::vector<QString> MakeItems(int count) {
  std::mt19937 random(20240611u);
  std::uniform_int_distribution<int> length(3, 12);
  std::uniform_int_distribution<int> letter(0, 51);
  std::vector<QString> items;
  items.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    QString item;
    const int n = length(random);
    for (int k = 0; k < n; ++k) {
      const int l = letter(random);
      item += QChar(l < 26 ? u'a' + l : u'A' + (l - 26));
    }
    items.push_back(item);
  }
  return items;
}

// `count` items of the named benchmark list shape, or the random words when the name is empty.
std::vector<QString> MakeItems(const std::string& shapeName, int count) {
  if (shapeName.empty()) return MakeItems(count);
  const auto shape = ordwell::bench::ShapeFromName(shapeName);
  if (!shape) {
    std::fprintf(stderr, "unknown shape '%s'\n", shapeName.c_str());
    std::exit(2);
  }
  std::vector<QString> items;
  for (const std::string& item : ordwell::bench::MakeItems(*shape, static_cast<std::size_t>(count)))
    items.push_back(QString::fromStdString(item));
  return items;
}

QString Join(const std::vector<QString>& items, const QString& separator) {
  QString text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += separator;
    text += items[i];
  }
  return text;
}

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  }
  return -1;
}

// The process's CPU time so far, all threads, user and system, in milliseconds.
double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Lowers the peak-RSS mark to the current RSS, so each case reports its own peak.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void ProcessUntilIdle() {
  for (int i = 0; i < 10; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (!QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents)) break;
  }
}

// Milliseconds from constructing the window to its first paint having been processed, best of
// `repeat`, with the settings in `appDir`.
double StartMs(const QString& appDir, int repeat) {
  double best = 1e300;
  for (int r = 0; r < repeat; ++r) {
    QElapsedTimer timer;
    timer.start();
    ordwell::FrmMain form(ordwell::services::AppFacts::WithPath(appDir.toStdU16String()));
    form.show();
    ProcessUntilIdle();
    (void)form.grab();  // the separator boxes paint even while the options panel is closed
    best = std::min(best, timer.nsecsElapsed() / 1e6);
    form.hide();
  }
  return best;
}

// Times the window's start with a separator of `kb` KB (words, spaces and an occasional line
// break, so that it wraps into many rows) stored as DelimiterIn, against the default separator.
void BenchStartWithLongSeparator(int kb, int repeat) {
  QTemporaryDir plainDir;
  QTemporaryDir longDir;
  std::u16string separator;
  const std::u16string chunk = u"word, ";
  while (separator.size() < static_cast<std::size_t>(kb) * 1024) {
    separator += chunk;
    if (separator.size() % 6000 == 0) separator += u"\r\n";
  }
  const std::filesystem::path prefs = std::filesystem::path(longDir.path().toStdU16String()) / u"Prefs.ini";
  if (!ordwell::modStandard::WriteIniValue(u"Prefs", u"DelimiterIn", separator, prefs)) {
    std::printf("could not write %s\n", prefs.string().c_str());
    return;
  }
  StartMs(plainDir.path(), 1);  // the first window of the process also loads fonts and styles
  const double plainMs = StartMs(plainDir.path(), repeat);
  const double longMs = StartMs(longDir.path(), repeat);
  std::printf("window start: default separator %.1f ms, %d KB separator %.1f ms, ratio %.2fx\n\n", plainMs,
              kb, longMs, longMs / plainMs);
  std::fflush(stdout);
}

struct Case {
  const char* name;
  QString separator;
};

}  // namespace

int main(int argc, char** argv) {
  // Measured without a display unless the caller chose a platform.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::vector<int> sizes = {10000, 100000, 1000000};
  int repeat = 3;
  int separatorKb = 1024;
  std::string shapeName;
  const QStringList args = QCoreApplication::arguments();
  for (int i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--sizes") {
      sizes.clear();
      for (const QString& s : args[i + 1].split(',')) sizes.push_back(s.toInt());
    }
    if (args[i] == "--repeat") repeat = std::max(1, args[i + 1].toInt());
    if (args[i] == "--separator-kb") separatorKb = std::max(1, args[i + 1].toInt());
    if (args[i] == "--shape") shapeName = args[i + 1].toStdString();
  }
  BenchStartWithLongSeparator(separatorKb, repeat);

  QTemporaryDir appDir;
  std::printf("%-8s %9s %14s %15s %7s %9s %11s %11s %13s %13s\n", "form", "items", "SortListText",
              "cmdGo_Click", "ratio", "CPU ratio", "stall", "Ctrl+A", "RSS before", "peak RSS");
  for (const int size : sizes) {
    for (const Case& c : {Case{"lines", "\n"}, Case{"commas", ", "}}) {
      ResetPeak();
      const QString list = Join(MakeItems(shapeName, size), c.separator);
      const std::u16string crLfList = ordwell::services::ToCrLf(list);
      const std::u16string crLfSeparator = ordwell::services::ToCrLf(c.separator);

      ordwell::FrmMain form(ordwell::services::AppFacts::WithPath(appDir.path().toStdU16String()));
      form.show();
      form.findChild<ordwell::ListTextBox*>("txtListIn")->setPlainText(list);
      form.findChild<ordwell::ListTextBox*>("txtDelimiterIn")->setPlainText(c.separator);
      ProcessUntilIdle();
      const long rssBefore = StatusKb("VmRSS");

      // The sort alone and the click take turns, so a change in the machine's load hits both.
      double sortMs = 1e300;
      double clickMs = 1e300;
      double stallMs = 1e300;
      double sortCpuMs = 1e300;
      double clickCpuMs = 1e300;
      for (int r = 0; r < repeat; ++r) {
        QElapsedTimer sortTimer;
        sortTimer.start();
        const double sortCpuStart = CpuMs();
        {
          const ordwell::SortResult result = ordwell::SortListText(crLfList, crLfSeparator, u", ");
          if (result.refused) return 1;
        }
        sortMs = std::min(sortMs, sortTimer.nsecsElapsed() / 1e6);
        sortCpuMs = std::min(sortCpuMs, CpuMs() - sortCpuStart);

        double runStallMs = 0;
        QElapsedTimer timer;
        QElapsedTimer sinceTick;
        QTimer ticks;
        ticks.setInterval(5);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
          runStallMs = std::max(runStallMs, sinceTick.nsecsElapsed() / 1e6);
          sinceTick.restart();
        });
        timer.start();
        const double clickCpuStart = CpuMs();
        sinceTick.start();
        ticks.start();
        form.cmdGo_Click();
        // A long list sorts off the window's thread; the click's work ends when the result is shown.
        while (form.IsSorting()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ProcessUntilIdle();
        clickMs = std::min(clickMs, timer.nsecsElapsed() / 1e6);
        clickCpuMs = std::min(clickCpuMs, CpuMs() - clickCpuStart);
        stallMs = std::min(stallMs, std::max(runStallMs, sinceTick.nsecsElapsed() / 1e6));
      }
      QElapsedTimer selectTimer;
      selectTimer.start();
      form.txtListOut_KeyDown(65, 2);
      ProcessUntilIdle();
      const double selectMs = selectTimer.nsecsElapsed() / 1e6;
      std::printf("%-8s %9d %11.1f ms %12.1f ms %6.2fx %8.2fx %8.1f ms %8.1f ms %10ld MB %10ld MB\n", c.name,
                  size, sortMs, clickMs, clickMs / sortMs, clickCpuMs / sortCpuMs, stallMs, selectMs,
                  rssBefore / 1024, StatusKb("VmHWM") / 1024);
      std::fflush(stdout);
    }
  }
  return 0;
}
