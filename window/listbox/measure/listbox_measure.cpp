// Measures the list box against QPlainTextEdit on the same large lists: the time to set the text,
// read it back, paint it first, jump to its end (with the repaint) and type one character at its
// start (with the repaint), plus the process's peak resident memory. Each case runs in a child process of its
// own so the peaks do not mix.
//
// Usage: listbox_measure            all cases, a table with peer/ours ratios
//        listbox_measure --smoke    a quick in-process run on 10k items (for ctest)
//        listbox_measure --case <ours|peer> <lines100k|lines1m|csv1m|pair1m> [items]
//                                   one case in this process; items (default 1000000) sizes the
//                                   1m cases, e.g. 10000000 for 10M lines

#include "window/listbox/list_text_box.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScrollBar>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The list boxes' size in the window: 3555 x 3570 twips.
constexpr int kBoxWidth = 237;
constexpr int kBoxHeight = 238;

// `count` deterministic pseudo-random words of 4 to 11 letters, 7.5 on average, joined by
// `separator`: a 1M-item list is 8.5 MB as lines and 9.5 MB comma-separated.
QString makeList(int count, const QString& separator) {
  QString text;
  text.reserve(static_cast<qsizetype>(count) * (8 + separator.size()));
  quint32 state = 12345;
  for (int i = 0; i < count; ++i) {
    if (i > 0) {
      text += separator;
    }
    state = state * 1664525U + 1013904223U;
    const int length = 4 + static_cast<int>((state >> 24) % 8);
    for (int c = 0; c < length; ++c) {
      state = state * 1664525U + 1013904223U;
      const auto letter = static_cast<char16_t>(((state >> 16) % 26) + ((state >> 8) % 5 == 0 ? u'A' : u'a'));
      text += QChar(letter);
    }
  }
  return text;
}

double peakMegabytes() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) {
    return -1.0;
  }
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmHWM:")) {
      return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
  }
  return -1.0;
}

// The two widgets behind one interface.
class Box {
 public:
  virtual ~Box() = default;
  virtual QAbstractScrollArea* widget() = 0;
  virtual void setText(const QString& text) = 0;
  virtual QString text() const = 0;
};

class OurBox : public Box {
 public:
  QAbstractScrollArea* widget() override { return &box_; }
  void setText(const QString& text) override { box_.setPlainText(text); }
  QString text() const override { return box_.toPlainText(); }

 private:
  ordwell::ListTextBox box_;
};

class PeerBox : public Box {
 public:
  PeerBox() { box_.setLineWrapMode(QPlainTextEdit::WidgetWidth); }
  QAbstractScrollArea* widget() override { return &box_; }
  void setText(const QString& text) override { box_.setPlainText(text); }
  QString text() const override { return box_.toPlainText(); }

 private:
  QPlainTextEdit box_;
};

std::unique_ptr<Box> makeBox(const std::string& kind) {
  if (kind == "ours") {
    return std::make_unique<OurBox>();
  }
  return std::make_unique<PeerBox>();
}

struct Figures {
  double setMs = 0;
  double getMs = 0;
  double paintMs = 0;
  double endMs = 0;
  double typeMs = 0;
  double peakMb = 0;
  qsizetype length = 0;
};

void settle(QAbstractScrollArea* box) {
  box->viewport()->repaint();
  QCoreApplication::processEvents();
}

// Sets each text into its own shown box and measures; returns the sums over the boxes.
Figures measure(const std::string& kind, const std::vector<QString>& texts) {
  Figures figures;
  std::vector<std::unique_ptr<Box>> boxes;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    auto box = makeBox(kind);
    box->widget()->resize(kBoxWidth, kBoxHeight);
    box->widget()->show();
    settle(box->widget());
    boxes.push_back(std::move(box));
  }
  QElapsedTimer timer;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    Box& box = *boxes[i];
    timer.start();
    box.setText(texts[i]);
    figures.setMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;

    timer.start();
    settle(box.widget());
    figures.paintMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;

    timer.start();
    const QString back = box.text();
    figures.getMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
    figures.length += back.size();

    timer.start();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QCoreApplication::sendEvent(box.widget(), &press);
    settle(box.widget());
    figures.endMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (box.widget()->verticalScrollBar()->value() != box.widget()->verticalScrollBar()->maximum()) {
      std::fprintf(stderr, "warning: %s did not scroll to its end\n", kind.c_str());
    }

    // Typing at the very start moves everything after it: the costliest place for one key.
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
    QCoreApplication::sendEvent(box.widget(), &home);
    settle(box.widget());
    timer.start();
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QCoreApplication::sendEvent(box.widget(), &typed);
    settle(box.widget());
    figures.typeMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
  }
  figures.peakMb = peakMegabytes();
  return figures;
}

std::vector<QString> dataFor(const std::string& data, int items) {
  if (data == "lines100k") {
    return {makeList(100'000, QStringLiteral("\n"))};
  }
  if (data == "lines1m") {
    return {makeList(items, QStringLiteral("\n"))};
  }
  if (data == "csv1m") {
    return {makeList(items, QStringLiteral(", "))};
  }
  // Both list boxes full, as after sorting a 1M-line list into its comma-separated form.
  return {makeList(items, QStringLiteral("\n")), makeList(items, QStringLiteral(", "))};
}

int runCase(int argc, char** argv, const std::string& kind, const std::string& data, int items) {
  QApplication app(argc, argv);
  const std::vector<QString> texts = dataFor(data, items);
  const double before = peakMegabytes();
  const Figures f = measure(kind, texts);
  std::printf("RESULT %.3f %.3f %.3f %.3f %.3f %.1f %.1f %lld\n", f.setMs, f.getMs, f.paintMs, f.endMs,
              f.typeMs, f.peakMb, before, static_cast<long long>(f.length));
  return 0;
}

int runSmoke(int argc, char** argv) {
  QApplication app(argc, argv);
  for (const char* kind : {"ours", "peer"}) {
    const Figures f =
        measure(kind, {makeList(10'000, QStringLiteral("\n")), makeList(10'000, QStringLiteral(", "))});
    std::printf("%-5s 10k items: set %.1f ms, paint %.1f ms, end %.1f ms\n", kind, f.setMs, f.paintMs,
                f.endMs);
    if (f.length == 0) {
      return 1;
    }
  }
  return 0;
}

int runAll(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM"))) {
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  }
  struct Case {
    const char* data;
    const char* title;
  };
  const Case cases[] = {{"lines100k", "100k lines (0.85 MB)"},
                        {"lines1m", "1M lines (8.5 MB)"},
                        {"csv1m", "1 line, 1M items (9.5 MB)"},
                        {"pair1m", "both boxes, 1M items"}};
  std::printf("List box against QPlainTextEdit, box %dx%d, offscreen; times in ms, memory in MB\n", kBoxWidth,
              kBoxHeight);
  std::printf("%-26s %-15s %9s %9s %9s %10s %9s %9s %9s\n", "case", "widget", "set", "get", "paint",
              "end+paint", "total", "type", "VmHWM");
  for (const Case& c : cases) {
    // set, get, paint, end+paint, type, VmHWM, total (set + paint + end).
    double figures[2][7] = {};
    for (int w = 0; w < 2; ++w) {
      const char* kind = w == 0 ? "ours" : "peer";
      QProcess child;
      child.setProcessEnvironment(environment);
      child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
      child.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--case"), QString::fromLatin1(kind), QString::fromLatin1(c.data)});
      child.waitForFinished(-1);
      const QStringList fields = QString::fromLatin1(child.readAllStandardOutput()).trimmed().split(' ');
      if (fields.size() < 9 || fields[0] != QLatin1String("RESULT")) {
        std::fprintf(stderr, "case %s %s failed\n", kind, c.data);
        return 1;
      }
      for (int i = 0; i < 6; ++i) {
        figures[w][i] = fields[i + 1].toDouble();
      }
      figures[w][6] = figures[w][0] + figures[w][2] + figures[w][3];
      std::printf("%-26s %-15s %9.1f %9.3f %9.1f %10.1f %9.1f %9.1f %9.0f\n", w == 0 ? c.title : "",
                  w == 0 ? "ListTextBox" : "QPlainTextEdit", figures[w][0], figures[w][1], figures[w][2],
                  figures[w][3], figures[w][6], figures[w][4], figures[w][5]);
    }
    // Reading our text back is a shared copy that takes no measurable time: no ratio for it.
    const auto ratio = [&figures](int i) {
      return figures[0][i] > 0.01 ? figures[1][i] / figures[0][i] : 0.0;
    };
    std::printf("%-26s %-15s %8.1fx %9s %8.1fx %9.1fx %8.1fx %8.1fx %8.1fx\n", "", "peer / ours", ratio(0),
                "-", ratio(2), ratio(3), ratio(6), ratio(4), ratio(5));
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--smoke") == 0) {
    return runSmoke(argc, argv);
  }
  if (argc >= 4 && std::strcmp(argv[1], "--case") == 0) {
    const int items = argc >= 5 ? std::max(1, std::atoi(argv[4])) : 1'000'000;
    return runCase(argc, argv, argv[2], argv[3], items);
  }
  return runAll(argc, argv);
}
