// Pushes small tasks through a fixed worker pool of one thread per processor
// and through a plain std::thread + mutex queue pool built the same way (an
// in-queue, an out-queue back to the owner, the same slot limit), and prints
// tasks per second and the queue overhead per task of each, with their ratio.
//
//   bench_pool_bench [tasks]     (default 1000000)
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Linux/lin_sys.h"
#include "Thread/worker_threads.h"

namespace {

using clock_type = std::chrono::steady_clock;

// A few rounds of integer mixing: enough to be real work, small enough that
// the queue dominates.
struct small_task : UTL_work_task {
  uint64_t x;
  int rounds;
  small_task(uint64_t seed, int r) : x(seed), rounds(r) {}
  void do_it() override {
    for (int i = 0; i < rounds; ++i) {
      x ^= x >> 33;
      x *= 0xff51afd7ed558ccdULL;
      x ^= x >> 29;
    }
  }
  int check_error(std::string& msg) override {
    msg.clear();
    return x == 42 ? 1 : 0;  // keeps the work from being optimised away
  }
};

// The baseline: the same pool shape on std::thread, std::mutex and
// std::condition_variable.
class std_pool {
 public:
  std_pool(int threads, int max_tasks) : max_tasks_(max_tasks) {
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { run(); });
  }
  ~std_pool() {
    for (size_t i = 0; i < workers_.size(); ++i) in_.push(nullptr);
    for (auto& t : workers_) t.join();
  }
  int has_free_slot() const { return total_ < max_tasks_; }
  void enqueue_task(UTL_work_task* t) {
    ++total_;
    in_.push(t);
  }
  UTL_work_task* check_retired_tasks() {
    UTL_work_task* t = out_.try_pop();
    if (t) --total_;
    return t;
  }
  UTL_work_task* wait_retired_tasks() {
    if (total_ <= 0) return nullptr;
    --total_;
    return out_.pop();
  }

 private:
  struct queue {
    std::mutex m;
    std::condition_variable cv;
    std::deque<UTL_work_task*> items;
    void push(UTL_work_task* t) {
      {
        std::lock_guard<std::mutex> l(m);
        items.push_back(t);
      }
      cv.notify_one();
    }
    UTL_work_task* pop() {
      std::unique_lock<std::mutex> l(m);
      cv.wait(l, [this] { return !items.empty(); });
      UTL_work_task* t = items.front();
      items.pop_front();
      return t;
    }
    UTL_work_task* try_pop() {
      std::lock_guard<std::mutex> l(m);
      if (items.empty()) return nullptr;
      UTL_work_task* t = items.front();
      items.pop_front();
      return t;
    }
  };
  void run() {
    while (UTL_work_task* t = in_.pop()) {
      t->do_it();
      out_.push(t);
    }
  }
  queue in_, out_;
  std::vector<std::thread> workers_;
  int max_tasks_;
  int total_ = 0;
};

// The engine's owner cycle: fill the free slots, then collect, waiting only
// when nothing has come back yet.
template <class Pool>
double run_owner(Pool& pool, long n, int rounds, long* errors) {
  auto t0 = clock_type::now();
  long sent = 0, back = 0;
  std::string msg;
  auto collect = [&](UTL_work_task* t) {
    *errors += t->check_error(msg);
    delete t;
    ++back;
  };
  while (back < n) {
    while (sent < n && pool.has_free_slot()) {
      pool.enqueue_task(new small_task(static_cast<uint64_t>(sent) + 1, rounds));
      ++sent;
    }
    UTL_work_task* t = pool.check_retired_tasks();
    if (!t) t = pool.wait_retired_tasks();
    collect(t);
    while ((t = pool.check_retired_tasks())) collect(t);
  }
  return std::chrono::duration<double>(clock_type::now() - t0).count();
}

// Seconds one thread needs for n tasks' work alone, with their new and delete.
double serial_work(long n, int rounds, long* errors) {
  auto t0 = clock_type::now();
  std::string msg;
  for (long i = 0; i < n; ++i) {
    auto* t = new small_task(static_cast<uint64_t>(i) + 1, rounds);
    t->do_it();
    *errors += t->check_error(msg);
    delete t;
  }
  return std::chrono::duration<double>(clock_type::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const long n = argc > 1 ? atol(argv[1]) : 1000000;
  if (n <= 0) {
    fprintf(stderr, "usage: %s [number of tasks, default 1000000]\n", argv[0]);
    return 2;
  }
  const int p = LIN_processor_count();
  long errors = 0;
  printf("%ld tasks, %d pool threads (one per processor)\n", n, p);
  printf("%-8s %-6s %-10s %14s %14s %16s\n", "work", "slots", "pool", "tasks/s", "ns/task",
         "overhead ns/task");

  for (int rounds : {0, 64}) {
    const double serial = serial_work(n, rounds, &errors);
    // Work spread evenly over the threads: what remains is the queues' cost.
    const double ideal = serial / p;
    for (int slots : {4 * p, 1024}) {
      double t_fly, t_std;
      {
        UTL_worker_threads pool(p, slots);
        t_fly = run_owner(pool, n, rounds, &errors);
      }
      {
        std_pool pool(p, slots);
        t_std = run_owner(pool, n, rounds, &errors);
      }
      const char* work = rounds ? "small" : "empty";
      auto row = [&](const char* name, double t) {
        printf("%-8s %-6d %-10s %14.0f %14.1f %16.1f\n", work, slots, name, n / t, t * 1e9 / n,
               (t - ideal) * 1e9 / n);
      };
      row("UTL", t_fly);
      row("std", t_std);
      printf("%-8s %-6d ratio UTL/std: time %.2f, overhead %.2f\n", work, slots, t_fly / t_std,
             (t_fly - ideal) / (t_std - ideal));
    }
    printf("%-8s serial work alone: %.1f ns/task\n", rounds ? "small" : "empty", serial * 1e9 / n);
  }
  return errors == -1 ? 1 : 0;
}
