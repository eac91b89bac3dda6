#pragma once
// The custom-model file: "devicetype.oem", uploaded to cameras as a configuration file to
// set or remove the model name they report in place of their own. Each batch writes its own
// copy into a private folder (owner-only, made for the batch alone), so nothing else can
// swap the file or put a link in its place while the uploads read it; the folder goes when
// the batch's uploads are over.

#include <QByteArray>
#include <QString>

#include <memory>

class QTemporaryDir;

namespace camfleet {

inline constexpr char kCustomModelFileName[] = "devicetype.oem";

enum class CustomModelAction {
    kSet,     // the cameras report the given model name
    kRemove,  // the cameras report their own model name again
};

enum class CustomModelFault {
    kNone,
    kEmptyModel,        // kSet with a model text that is empty once trimmed
    kControlCharacter,  // the model text holds a line break or another control character
    kNotWritten,        // the private folder or the file could not be made
};

// The file's one line, without a line end: "SET_OEM_DEVTYPE_FLAG=" + the trimmed model text
// (UTF-8) for kSet, "DEL_OEM_DEVTYPE_FLAG=" for kRemove (the model text is not used).
// Empty when the model text is refused; `fault` (when given) says why.
QByteArray CustomModelLine(CustomModelAction action, const QString& model,
                           CustomModelFault* fault = nullptr);

// One batch's custom-model file. It lives as long as this object: destroying it removes the
// file and its folder, so keep it until the last upload of the batch has ended.
class CustomModelFile {
public:
    // Makes a private folder in `parent` (the system's temporary folder when empty) and
    // writes the file into it. Returns nullptr and sets `fault` when the model text is
    // refused or the folder or file could not be made.
    static std::unique_ptr<CustomModelFile> Write(CustomModelAction action, const QString& model,
                                                  CustomModelFault* fault,
                                                  const QString& parent = QString());
    ~CustomModelFile();
    CustomModelFile(const CustomModelFile&) = delete;
    CustomModelFile& operator=(const CustomModelFile&) = delete;

    // Full path of "devicetype.oem" in the batch's folder.
    QString Path() const;

private:
    explicit CustomModelFile(std::unique_ptr<QTemporaryDir> folder);
    std::unique_ptr<QTemporaryDir> folder_;
};

}  // namespace camfleet
