#include "scratch_documents.h"

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace camfleet::scratch {
namespace {

class ScratchDocuments {
public:
    ScratchDocuments() {
        char folder[] = "/tmp/camfleet-test-documents.XXXXXX";
        if (mkdtemp(folder) != nullptr)
            folder_ = folder;
        Restore();
    }
    ~ScratchDocuments() {
        std::error_code ignored;
        if (!folder_.empty())
            std::filesystem::remove_all(folder_, ignored);
    }
    void Restore() const {
        if (!folder_.empty())
            setenv("CAMFLEET_DOCUMENTS_DIR", folder_.c_str(), 1);
    }

private:
    std::string folder_;
};

const ScratchDocuments g_scratch;

}  // namespace

void RestoreDocuments() {
    g_scratch.Restore();
}

}  // namespace camfleet::scratch
