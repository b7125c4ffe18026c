// A window that takes one drop and reports what it got, for the Quick
// Access drag-out test: the local file of the first URL (one line in
// OUT/dropped-file) and the bytes offered as image/png or image/jpeg
// (OUT/dropped-data), then it quits.
//
//   drop-target OUT X Y WIDTH HEIGHT

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QWidget>
#include <cstdio>

namespace {

class DropTarget final : public QWidget {
public:
    explicit DropTarget(QString out) : out_(std::move(out)) {
        setAcceptDrops(true);
        setWindowTitle(QStringLiteral("Drop Target"));
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (!event->mimeData()->hasUrls()) return;
        event->acceptProposedAction();
        // Tells the test the drag has reached us, so it releases over a target that knows.
        std::printf("entered\n");
        std::fflush(stdout);
    }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override {
        const QMimeData* offered = event->mimeData();
        const QList<QUrl> urls = offered->urls();
        write(QStringLiteral("dropped-file"), urls.isEmpty() ? QByteArray() : urls.first().toLocalFile().toUtf8() + "\n");
        for (const QString& type : {QStringLiteral("image/png"), QStringLiteral("image/jpeg")}) {
            if (offered->hasFormat(type)) {
                write(QStringLiteral("dropped-data"), offered->data(type));
                break;
            }
        }
        event->acceptProposedAction();
        std::printf("dropped %s\n", urls.isEmpty() ? "nothing" : qPrintable(urls.first().toString()));
        std::fflush(stdout);
        QApplication::quit();
    }

private:
    void write(const QString& name, const QByteArray& bytes) {
        QFile file(out_ + QLatin1Char('/') + name);
        if (file.open(QIODevice::WriteOnly)) file.write(bytes);
    }
    QString out_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: drop-target OUT X Y WIDTH HEIGHT\n");
        return 2;
    }
    DropTarget target(QString::fromLocal8Bit(argv[1]));
    target.setGeometry(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    target.show();
    return app.exec();
}
