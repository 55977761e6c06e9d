// Start-up probe, preloaded (LD_PRELOAD) into a Qt program by bench/startup.py so that the program
// itself needs no benchmark hook. When the program's first top-level window has handled its first
// expose event (which paints the window and hands the frame to the platform), the probe writes the
// nanoseconds since the driver's start mark to a file and ends the event loop. It does nothing in
// a process started without ZENTRIQ_PROBE_T0 and ZENTRIQ_PROBE_OUT.

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QWindow>

#include <ctime>
#include <utility>

namespace {

class FirstFrame : public QObject {
  public:
    FirstFrame(qint64 start, QString out, QObject* parent)
        : QObject(parent), start_(start), out_(std::move(out)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && event->type() == QEvent::Expose) {
            const auto* window = qobject_cast<QWindow*>(watched);
            if (window != nullptr && window->isTopLevel() && window->isExposed()) {
                seen_ = true;
                // Queued, so it runs once the expose handler (the paint) has returned.
                QMetaObject::invokeMethod(this, &FirstFrame::Report, Qt::QueuedConnection);
            }
        }
        return false;
    }

  private:
    void Report() {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const qint64 elapsed = qint64{now.tv_sec} * 1'000'000'000 + now.tv_nsec - start_;
        QFile file(out_);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(QByteArray::number(elapsed));
        }
        QCoreApplication::quit();
    }

    const qint64 start_;
    const QString out_;
    bool seen_ = false;
};

void Install() {
    bool ok = false;
    const qint64 start = qgetenv("ZENTRIQ_PROBE_T0").toLongLong(&ok);
    const QString out = qEnvironmentVariable("ZENTRIQ_PROBE_OUT");
    if (!ok || out.isEmpty()) {
        return;
    }
    auto* probe = new FirstFrame(start, out, QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(probe);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Install)
