// The window's run against tamblure-batch over the same folder, in the same
// process run: the real window, offscreen, from the press of "Démarrer" to
// "Terminé", then tamblure-batch with its default jobs and with -j 1, each
// repeated and interleaved; prints the medians and their ratios.
//
//     tamblure_window_bench FOLDER TAMBLURE_BATCH [REPETITIONS]
//
// FOLDER holds the photographs (bench/make_corpus makes them); its thumbnail
// folder is removed before each run so that every run does the same work.

#include "window/main.h"
#include "window/tableau.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void removeThumbnails(const QString& folder)
{
    QDir(folder + QStringLiteral("/tamblure")).removeRecursively();
}

// Seconds from the press of "Démarrer" to the "Terminé" box.
double windowRun(tamblure::batch::TForm1& form, const QString& folder)
{
    removeThumbnails(folder);
    form.repertoire->setText(folder);
    QElapsedTimer clock;
    double seconds = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        if (seconds < 0)
            seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        if (box->text() != QStringLiteral("Terminé")) {
            std::fprintf(stderr, "the run ended with: %s\n", qPrintable(box->text()));
            std::exit(1);
        }
        box->buttons().constFirst()->click();
    });
    poll.start(1);
    clock.start();
    form.Button1->click();
    return seconds;
}

double batchRun(const QString& batch, const QStringList& arguments, const QString& folder)
{
    removeThumbnails(folder);
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(batch, arguments + QStringList{folder});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(batch));
        std::exit(1);
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER TAMBLURE_BATCH [REPETITIONS]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString batch = QString::fromLocal8Bit(argv[2]);
    const int repetitions = argc > 3 ? std::atoi(argv[3]) : 5;

    tamblure::batch::TDlgTableau dialog;
    tamblure::batch::TForm1 form(dialog);
    form.show();

    std::map<QString, std::vector<double>> times;
    for (int r = 0; r < repetitions; ++r) {
        times["window"].push_back(windowRun(form, folder));
        times["tamblure-batch (default jobs)"].push_back(batchRun(batch, {}, folder));
        times["tamblure-batch -j 1"].push_back(batchRun(batch, {QStringLiteral("-j"), QStringLiteral("1")}, folder));
    }
    removeThumbnails(folder);

    const double window = median(times["window"]);
    const double jobs = median(times["tamblure-batch (default jobs)"]);
    const double one = median(times["tamblure-batch -j 1"]);
    std::printf("%s, %d repetitions, medians:\n", qPrintable(folder), repetitions);
    std::printf("  window, press to \"Terminé\"        %8.3f s\n", window);
    std::printf("  tamblure-batch (default jobs)      %8.3f s\n", jobs);
    std::printf("  tamblure-batch -j 1                %8.3f s\n", one);
    std::printf("  window / default jobs              %8.2f\n", window / jobs);
    std::printf("  window / -j 1                      %8.2f\n", window / one);
    return 0;
}
