// Another program on the screen, for the drag-and-drop tests: a small window at a given place
// that either takes one drop ("take X Y") or offers the given files to drag ("offer X Y
// PATH..."). It prints "ready" once its window shows, then what it got: each format
// ("format TYPE"), each URL ("uri URL") and the action ("action copy|move|link|none"), and
// ends after the one drop or drag.
#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

const char* action_name(Qt::DropAction action) {
    switch (action) {
        case Qt::CopyAction:
            return "copy";
        case Qt::MoveAction:
            return "move";
        case Qt::LinkAction:
            return "link";
        default:
            return "none";
    }
}

void say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class Peer final : public QWidget {
  public:
    explicit Peer(QStringList offered) : offered_(std::move(offered)) {
        setWindowTitle(QStringLiteral("Drop peer"));
        setAcceptDrops(offered_.isEmpty());
    }

  protected:
    void showEvent(QShowEvent*) override {
        QTimer::singleShot(300, this, [] { say(QStringLiteral("ready")); });
    }
    void dragEnterEvent(QDragEnterEvent* e) override { e->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent* e) override { e->acceptProposedAction(); }
    void dropEvent(QDropEvent* e) override {
        for (const QString& f : e->mimeData()->formats()) say(QStringLiteral("format ") + f);
        for (const QUrl& u : e->mimeData()->urls())
            say(QStringLiteral("uri ") + QString::fromLatin1(u.toEncoded()));
        e->acceptProposedAction();
        say(QStringLiteral("action ") + QString::fromLatin1(action_name(e->dropAction())));
        QTimer::singleShot(0, qApp, &QApplication::quit);
    }
    void mousePressEvent(QMouseEvent* e) override { press_ = e->position().toPoint(); }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (offered_.isEmpty() || !(e->buttons() & Qt::LeftButton)) return;
        if ((e->position().toPoint() - press_).manhattanLength() < QApplication::startDragDistance()) return;
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& p : offered_) urls.push_back(QUrl::fromLocalFile(p));
        mime->setUrls(urls);
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        const Qt::DropAction done = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
        say(QStringLiteral("action ") + QString::fromLatin1(action_name(done)));
        offered_.clear();
        QTimer::singleShot(0, qApp, &QApplication::quit);
    }

  private:
    QStringList offered_;
    QPoint press_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4 || (args[1] != QLatin1String("take") && args[1] != QLatin1String("offer"))) {
        std::fprintf(stderr, "usage: drop_peer take|offer X Y [PATH...]\n");
        return 2;
    }
    Peer peer(args[1] == QLatin1String("offer") ? args.mid(4) : QStringList{});
    peer.setGeometry(args[2].toInt(), args[3].toInt(), 200, 150);
    peer.show();
    return app.exec();
}
