// Allocation fault loops: the program run in-process on a few scripts,
// with allocation number k made to fail, for every k in turn. This binary
// replaces the global operator new to count and fail allocations, which is
// why it is a test program of its own; it also replaces mmap, through which
// the row store takes its blocks, and counts a block as one allocation. A
// run must end with the right output and status 0, or with
// "Nincs eleg memoria!" and status 1; it must give back every allocation
// it made (counted here, so that the release build checks it too), and it
// must not crash, which would end this program.
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <streambuf>
#include <string>

#include "app/run.h"
#include "gtest/gtest.h"

namespace {

// The allocation counter. Only this test program's own allocations pass
// through it, from the threads of a run too: with several, which
// allocation is number k varies from run to run, and every one of those
// runs must end well all the same.
struct Allocations {
  std::atomic<long long> made = 0;    // since the last reset
  std::atomic<long long> failAt = 0;  // the number of the allocation to fail; 0: none
  std::atomic<long long> live = 0;    // allocated and not yet freed, over the whole run
};
Allocations allocations;

void* allocate(std::size_t size) {
  if (++allocations.made == allocations.failAt) throw std::bad_alloc();
  void* p = std::malloc(size != 0 ? size : 1);
  if (p == nullptr) throw std::bad_alloc();
  ++allocations.live;
  return p;
}

void release(void* p) noexcept {
  if (p == nullptr) return;
  --allocations.live;
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

// Only the program's own calls reach this: the allocators map their memory
// through the system call itself.
extern "C" void* mmap(void* address, std::size_t size, int protection, int flags, int fd,
                      off_t offset) noexcept {
  if (++allocations.made == allocations.failAt) {
    errno = ENOMEM;
    return MAP_FAILED;
  }
  return reinterpret_cast<void*>(syscall(SYS_mmap, address, size, protection, flags, fd, offset));
}

namespace tablog {
namespace {

namespace fs = std::filesystem;

// A console that never allocates, so that the message of a failed run is
// not itself a place where allocation fails.
class FixedBuffer : public std::streambuf {
 public:
  FixedBuffer() { setp(text_, text_ + sizeof text_); }
  std::string text() const { return std::string(pbase(), pptr()); }
  void clear() { setp(text_, text_ + sizeof text_); }

 private:
  char text_[256];
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The joins, constants and conditions of the rule language, in one script.
const char* const kRules =
    "Emp(Name,Dept,Salary)\n'Anna','Sales',1200\n'Bela','IT',1000\n'Cili','Sales',1800\n"
    "'Dani','IT',1500\n'Dani','IT',1500\nDept(Dept,Floor)\n'Sales',1\n'IT',2\n"
    "Floor(Floor,Building)\n1,'North'\n2,'South'\n"
    "WorksIn(B,N)<-Emp(N,D,S),Dept(D,F),Floor(F,B)\n"
    "OnNorth(N)<-Emp(N,D,S),Dept(D,F),Floor(F,'North')\n"
    "InIT(N)<-Emp(N,D,S),D=IT\nRich(N,S)<-Emp(N,D,S),S>1400\n"
    "Bonus(N,B)<-Emp(N,D,S),B=100,S>1400\nNone(N)<-Emp(N,D,S),Nobody(N)\n";

// `rows` rows of two tables, joined and selected.
std::string LargeScript(int rows) {
  std::string script = "Item(Id,Group,Price)\n";
  for (int i = 0; i < rows; ++i) {
    script += std::to_string(i * 7919 % 10007) + ",'g" + std::to_string(i % 13) + "'," +
              std::to_string(i % 97) + "\n";
  }
  script += "Group(Group,Name)\n";
  for (int g = 0; g < 13; ++g)
    script += "'g" + std::to_string(g) + "','G" + std::to_string(g) + "'\n";
  script += "Named(I,N)<-Item(I,G,P),Group(G,N),P>50\nCheap(I)<-Item(I,G,P),P<'20'\n";
  return script;
}

class AllocationFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tablog-alloc-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs `script` on `threads` threads once without a failure for its
  // output and its number of allocations, then once for every k with
  // allocation k failing.
  void FailEachAllocation(const std::string& script, const char* threads) {
    fs::path scriptPath = dir_ / "s.tl", outputPath = dir_ / "out.txt";
    std::ofstream(scriptPath, std::ios::binary) << script;
    const std::string scriptArg = scriptPath.string(), outputArg = outputPath.string();
    const char* argv[] = {"tablog", scriptArg.c_str(), outputArg.c_str()};
    FixedBuffer console;
    std::ostream out(&console);

    allocations.made = 0;
    ASSERT_EQ(runProgram(3, argv, out, threads), 0);
    const long long total = allocations.made;
    const std::string expected = ReadFile(outputPath);
    ASSERT_GT(total, 0);

    int failures = 0;
    for (long long k = 1; k <= total; ++k) {
      console.clear();
      const long long liveBefore = allocations.live;
      allocations.made = 0;
      allocations.failAt = k;
      int status = runProgram(3, argv, out, threads);
      allocations.failAt = 0;
      EXPECT_EQ(allocations.live, liveBefore) << "allocation " << k << " of " << total;
      if (status == 0) {
        EXPECT_EQ(console.text(), "") << "allocation " << k;
        EXPECT_EQ(ReadFile(outputPath), expected) << "allocation " << k;
      } else {
        ++failures;
        EXPECT_EQ(status, 1) << "allocation " << k;
        EXPECT_EQ(console.text(), "Nincs eleg memoria!\n") << "allocation " << k;
      }
      if (HasFailure()) return;
    }
    // Allocations whose failure the program absorbs (a smaller sort buffer,
    // say) are allowed, but most of them must reach the message.
    EXPECT_GT(failures, 0);
  }

  fs::path dir_;
};

TEST_F(AllocationFaultTest, AnExampleSurvivesEveryFailure) {
  FailEachAllocation(ReadFile(fs::path(TABLOG_SOURCE_DIR) / "examples" / "employees.tl"), "1");
}

TEST_F(AllocationFaultTest, JoinsConstantsAndConditionsSurviveEveryFailure) {
  FailEachAllocation(kRules, "1");
}

TEST_F(AllocationFaultTest, TenThousandRowsSurviveEveryFailure) {
  FailEachAllocation(LargeScript(10000), "1");
}

// With two threads, the data lines of a table are made into rows in parts
// on both, from 32,768 rows a selection is made in parts, and from 65,536
// rows the normalising and the writing are cut into parts too: a failure
// on a worker's thread must end as one on the program's own. (The join of
// the large script stays out: it makes some twenty thousand allocations,
// each a run of the loop.)
TEST_F(AllocationFaultTest, TwoThreadsSurviveEveryFailure) {
  FailEachAllocation(kRules, "2");
  FailEachAllocation(LargeScript(10000), "2");
  const std::string large = LargeScript(70000);
  const std::string tables = large.substr(0, large.find("Named("));
  FailEachAllocation(tables, "2");
  FailEachAllocation(tables + "Cheap(I,P)<-Item(I,G,P),P<'20'\n", "2");
}

}  // namespace
}  // namespace tablog
