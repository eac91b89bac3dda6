#include "operations/custom_model_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

namespace camfleet {

QByteArray CustomModelLine(CustomModelAction action, const QString& model,
                           CustomModelFault* fault) {
    CustomModelFault found = CustomModelFault::kNone;
    QByteArray line;
    if (action == CustomModelAction::kRemove) {
        line = "DEL_OEM_DEVTYPE_FLAG=";
    } else {
        const QString text = model.trimmed();
        if (text.isEmpty())
            found = CustomModelFault::kEmptyModel;
        else if (std::any_of(text.begin(), text.end(),
                             [](QChar c) { return c.category() == QChar::Other_Control; }))
            found = CustomModelFault::kControlCharacter;
        else
            line = "SET_OEM_DEVTYPE_FLAG=" + text.toUtf8();
    }
    if (fault != nullptr)
        *fault = found;
    return line;
}

std::unique_ptr<CustomModelFile> CustomModelFile::Write(CustomModelAction action,
                                                        const QString& model,
                                                        CustomModelFault* fault,
                                                        const QString& parent) {
    const QByteArray line = CustomModelLine(action, model, fault);
    if (line.isEmpty())
        return nullptr;
    // QTemporaryDir makes the folder with a fresh random name and owner-only permissions,
    // failing rather than reusing one that exists.
    const QString base = parent.isEmpty() ? QDir::tempPath() : parent;
    auto folder = std::make_unique<QTemporaryDir>(base + QStringLiteral("/camfleet-oem-XXXXXX"));
    std::unique_ptr<CustomModelFile> file(new CustomModelFile(std::move(folder)));
    QFile out(file->Path());
    // NewOnly: the folder is new, so an existing entry means something else got in first.
    if (!file->folder_->isValid() || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        out.write(line) != line.size() || !out.flush()) {
        if (fault != nullptr)
            *fault = CustomModelFault::kNotWritten;
        return nullptr;
    }
    return file;
}

CustomModelFile::CustomModelFile(std::unique_ptr<QTemporaryDir> folder)
    : folder_(std::move(folder)) {}

CustomModelFile::~CustomModelFile() = default;

QString CustomModelFile::Path() const {
    return folder_->filePath(QString::fromLatin1(kCustomModelFileName));
}

}  // namespace camfleet
