#include "app/document/SnapshotExport.h"

#include "app/QtConversions.h"
#include "app/defaults/UserDefaultValue.h"
#include "app/defaults/UserDefaults.h"
#include "model/Localization.h"
#include "snapshot/Snapshot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>

namespace tessera {
namespace {

const QString kFormatKey = QStringLiteral("exportFormat");
const QString kKeysKey = QStringLiteral("exportedKeys");
const QString kFolderKey = QStringLiteral("exportFolder");

UserDefaultEnum<SnapshotEncoder::FileFormat> exportFormat() {
    return {kFormatKey, SnapshotEncoder::Options().format, fileFormatFromRaw,
            [](SnapshotEncoder::FileFormat format) { return std::string(rawValue(format)); }};
}

} // namespace

SnapshotEncoder::Options exportOptions() {
    SnapshotEncoder::Options options;
    const auto defaults = userDefaults();
    options.format = exportFormat().value();
    if (defaults->contains(kKeysKey)) {
        options.includedKeys.clear();
        for (const QString& raw : defaults->value(kKeysKey).toStringList())
            if (const auto key = fileKeyFromRaw(raw.toStdString());
                key && std::ranges::find(options.includedKeys, *key) == options.includedKeys.end())
                options.includedKeys.push_back(*key);
    }
    return options;
}

void setExportOptions(const SnapshotEncoder::Options& options) {
    const auto defaults = userDefaults();
    exportFormat().setValue(options.format);
    QStringList keys;
    for (FileKey key : options.includedKeys)
        keys << toQString(rawValue(key));
    defaults->setValue(kKeysKey, keys);
}

void exportSnapshot(const File& root, const std::string& rootPath, const QString& name,
                    QWidget* parent) {
    SnapshotEncoder::Options options = exportOptions();
    QFileDialog dialog(parent, localizedQString("export.title"));
    dialog.setObjectName(QStringLiteral("exportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Our own dialog, so that the form and the properties can sit in it.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(localizedQString("open.snapshotFilter"));
    dialog.setDefaultSuffix(QStringLiteral("fssnapshot"));
    // Where the last snapshot went, else the home folder.
    const QString folder = userDefaults()->value(kFolderKey).toString();
    dialog.setDirectory(folder.isEmpty() ? QDir::homePath() : folder);
    dialog.selectFile(name + QStringLiteral(".fssnapshot"));

    auto* accessory = new QWidget(&dialog);
    auto* form = new QFormLayout(accessory);
    auto* format = new QComboBox(accessory);
    format->setObjectName(QStringLiteral("exportFormat"));
    // The forms by their raw names: ncdu's is what ncdu and gdu read (its properties are fixed).
    for (const auto kind : {SnapshotEncoder::FileFormat::tsv, SnapshotEncoder::FileFormat::json,
                            SnapshotEncoder::FileFormat::ncdu}) {
        const std::string raw(rawValue(kind));
        format->addItem(localizedQString("export.format." + raw), toQString(raw));
    }
    format->setCurrentIndex(format->findData(toQString(rawValue(options.format))));
    QObject::connect(format, &QComboBox::currentIndexChanged, &dialog, [&options, format] {
        options.format = fileFormatFromRaw(format->currentData().toString().toStdString())
                             .value_or(SnapshotEncoder::FileFormat::tsv);
        setExportOptions(options);
    });
    form->addRow(localizedQString("export.format"), format);
    auto* boxes = new QWidget(accessory);
    auto* row = new QHBoxLayout(boxes);
    row->setContentsMargins(0, 0, 0, 0);
    for (FileKey key : allFileKeys) {
        auto* box =
            new QCheckBox(localizedQString("export.key." + std::string(rawValue(key))), boxes);
        box->setObjectName(toQString(rawValue(key)));
        box->setChecked(std::ranges::find(options.includedKeys, key) != options.includedKeys.end());
        // Ticking appends the key, unticking removes it; the list is kept at once.
        QObject::connect(box, &QCheckBox::toggled, &dialog, [&options, key](bool on) {
            std::erase(options.includedKeys, key);
            if (on) options.includedKeys.push_back(key);
            setExportOptions(options);
        });
        row->addWidget(box);
    }
    row->addStretch();
    form->addRow(localizedQString("export.properties"), boxes);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const std::string path = toPath(dialog.selectedFiles().front());
    // The folder the snapshot went to, which a typed path may have chosen.
    userDefaults()->setValue(kFolderKey, QFileInfo(dialog.selectedFiles().front()).absolutePath());
    options.rootName = rootPath; // ncdu shows it as the tree's location
    if (auto saved = Snapshot::save(root, options, path); !saved) {
        auto* box = new QMessageBox(QMessageBox::Critical, localizedQString("export.error.title"),
                                    toQString(saved.error()), QMessageBox::Ok, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
}

} // namespace tessera
