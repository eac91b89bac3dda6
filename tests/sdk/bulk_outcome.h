#pragma once
// What a bulk transfer of the SDK reported, for tests: its progress and its one result,
// waited for with a safety limit.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "device/sdk/bulk_protocol.h"
#include "device/sdk/bulk_transfer.h"

namespace camfleet::testing {

class BulkOutcome {
public:
    sdk::BulkCallbacks Callbacks() {
        sdk::BulkCallbacks callbacks;
        callbacks.progress = [this](uint64_t done, uint64_t total) {
            std::lock_guard lock(mutex_);
            progress_.emplace_back(done, total);
        };
        callbacks.finished = [this](const sdk::BulkResult& result) {
            std::lock_guard lock(mutex_);
            ++results_;
            result_ = result;
            cv_.notify_all();
        };
        return callbacks;
    }
    // The result, once there (a default result with status kLost when none came in 20 s).
    sdk::BulkResult Wait() {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, std::chrono::seconds(20), [this] { return results_ > 0; }))
            return sdk::BulkResult{sdk::BulkStatus::kLost, -1, 0, {}, 0, 0};
        return result_;
    }
    std::vector<std::pair<uint64_t, uint64_t>> Progress() {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    int Results() {
        std::lock_guard lock(mutex_);
        return results_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::pair<uint64_t, uint64_t>> progress_;
    int results_ = 0;
    sdk::BulkResult result_;
};

// `size` bytes that differ from chunk to chunk, with `marker` written over and over.
inline std::string FileBytes(std::size_t size, const std::string& marker = "camfleet") {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = marker[i % marker.size()] ^ static_cast<char>((i / 4096) % 7 == 3 ? 0x20 : 0);
    return bytes;
}

inline bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Sha256Of(const std::string& bytes) {
    sdk::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Hex();
}

}  // namespace camfleet::testing
