#pragma once
// A temporary folder for one test, removed with the object.

#include <QTemporaryDir>

#include <fstream>
#include <string>

namespace camfleet::test {

class ScratchDir {
public:
    std::string Path() const { return dir_.path().toStdString(); }
    std::string File(const std::string& name) const { return Path() + "/" + name; }

    // Writes `content` as the whole file `name` and returns its path.
    std::string Write(const std::string& name, const std::string& content) const {
        const std::string path = File(name);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        return path;
    }

private:
    QTemporaryDir dir_;
};

}  // namespace camfleet::test
