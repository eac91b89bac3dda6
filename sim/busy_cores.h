#pragma once
// A loaded machine for the lab: threads that spin on every core until destroyed. The LAN-lab
// tests and bench_ip run the address searches under it, where answers arrive late.

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace camfleet::sim {

class BusyCores {
public:
    // `perCore` spinning threads for every core of the machine.
    explicit BusyCores(unsigned perCore = 1) {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores * perCore; ++i)
            threads_.emplace_back([this] {
                while (!stop_.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~BusyCores() {
        stop_ = true;
        for (std::thread& t : threads_)
            t.join();
    }
    BusyCores(const BusyCores&) = delete;
    BusyCores& operator=(const BusyCores&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

}  // namespace camfleet::sim
