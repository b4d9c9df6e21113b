#include "app/document/PictureExport.h"

#include "app/QtConversions.h"
#include "app/defaults/UserDefaults.h"
#include "controller/FileController.h"
#include "graph/Graph.h"
#include "graph/StillPicture.h"
#include "model/Directory.h"
#include "model/Localization.h"
#include "render/QtLabelTypesetter.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace tessera {
namespace {

const QString kFolderKey = QStringLiteral("pictureFolder");

} // namespace

std::expected<void, std::string>
writeGraphPicture(const Graph& shown, const std::shared_ptr<FileController>& controller, int width,
                  int height, bool dark, const std::string& path) {
    if (shown.file() == nullptr || controller->rootFile() == nullptr)
        return std::unexpected(std::string("nothing is shown"));
    const QtLabelTypesetter typesetter;
    // Subsamples smooth a PNG's edges; an SVG's shapes need none.
    const bool svg = isSvgPath(path);
    HeadlessGraphView view(typesetter, width, height, dark, svg ? 1 : 3);
    view.setKeepsShapes(svg);
    Settings settings = shown.settings(); // a copy: the picture saves no settings
    Graph graph(settings);
    graph.setView(&view);
    graph.setUp();
    graph.setFileController(controller);
    if (shown.file() != controller->rootFile()) graph.navigate(*shown.file());
    graph.setLitFilter(shown.sharedLitFilter());
    drawAtRest(graph, view);
    graph.setFileController(nullptr);
    return writePicture(view, path);
}

void savePicture(const Graph& shown, const std::shared_ptr<FileController>& controller, int width,
                 int height, bool dark, const QString& name, QWidget* parent) {
    QFileDialog dialog(parent, localizedQString("picture.title"));
    dialog.setObjectName(QStringLiteral("pictureDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QString png = localizedQString("picture.filter.png");
    const QString svg = localizedQString("picture.filter.svg");
    dialog.setNameFilters({png, svg});
    dialog.setDefaultSuffix(QStringLiteral("png"));
    // The filter chosen names the form; a name typed with the other extension keeps it.
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog, [&dialog, svg](const QString& filter) {
            dialog.setDefaultSuffix(filter == svg ? QStringLiteral("svg") : QStringLiteral("png"));
        });
    const QString folder = userDefaults()->value(kFolderKey).toString();
    dialog.setDirectory(folder.isEmpty() ? QDir::homePath() : folder);
    dialog.selectFile(name + QStringLiteral(".png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().constFirst();
    userDefaults()->setValue(kFolderKey, QFileInfo(path).absolutePath());
    if (auto written = writeGraphPicture(shown, controller, width, height, dark, toPath(path));
        !written) {
        auto* box = new QMessageBox(QMessageBox::Critical, localizedQString("picture.error"),
                                    toQString(written.error()), QMessageBox::Ok, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
}

} // namespace tessera
