// corvan-tbgen: solves endings by retrograde analysis and writes their
// Syzygy WDL (.rtbw) and DTZ (.rtbz) files.
//
//   corvan-tbgen [--out DIR] [--threads N] [--check] [--builtin] [ENDING ...]
//
// ENDING names a material such as KRPvKR. Every ending its captures and
// promotions lead to is solved first, in memory. Written are the named
// endings, with --builtin the 35 three- and four-piece endings, and every
// ending of five or more pieces solved on the way. --check compares each
// position's value with its successors' after solving. Progress and times
// go to standard error.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <sys/resource.h>

#include "common/usage.h"
#include "board/attacks.h"
#include "check.h"
#include "solver.h"
#include "tablebase/tbindex.h"
#include "writer.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Writes beside the file and renames, so that an interrupted run leaves no
// truncated table behind.
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string part = path + ".part";
  FILE* f = std::fopen(part.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok && std::rename(part.c_str(), path.c_str()) == 0;
}

const char* USAGE =
    "usage: corvan-tbgen [--out DIR] [--threads N] [--check] [--builtin] [ENDING ...]\n"
    "Solves endings by retrograde analysis and writes their Syzygy WDL (.rtbw) and\n"
    "DTZ (.rtbz) files. ENDING names a material such as KRPvKR.\n"
    "  --out DIR     where the files go (the current directory)\n"
    "  --threads N   solver threads (2)\n"
    "  --check       check every position against its successors after solving\n"
    "  --builtin     the 35 three- and four-piece endings\n"
    "  -h, --help    print this text and exit\n";

int usage() { return usageError("corvan-tbgen", nullptr, USAGE); }

}  // namespace

int main(int argc, char** argv) {
  if (helpRequested(argc, argv)) return printUsage(USAGE);
  std::string out;
  int threads = 2;
  bool check = false;
  std::vector<Material> endings;
  std::set<std::string> named;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (arg == "--threads" && i + 1 < argc) {
      threads = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--check") {
      check = true;
    } else if (arg == "--builtin") {
      for (const std::string& name : builtinEndings()) {
        Material m;
        parseMaterial(name, m);
        endings.push_back(m);
        named.insert(name);
      }
    } else {
      Material m;
      if (!parseMaterial(arg, m) || pieceCount(m) < 3) {
        std::fprintf(stderr, "not an ending: %s\n", arg.c_str());
        return usage();
      }
      endings.push_back(m);
      named.insert(materialName(registeredMaterial(m)));
    }
  }
  if (endings.empty()) return usage();
  initAttacks();
  initTablebaseIndices();

  const auto start = std::chrono::steady_clock::now();
  bool failed = false;
  TableSet set;
  set.threads = threads;
  set.solved = [&](Table& t) {
    const std::string name = materialName(t.material);
    std::fprintf(stderr, "%-8s solved  %7.2f s\n", name.c_str(), secondsSince(start));
    if (check) {
      const uint64_t errors = checkTable(set, t, threads);
      std::fprintf(stderr, "%-8s checked %7.2f s: %llu inconsistent\n", name.c_str(), secondsSince(start),
                   static_cast<unsigned long long>(errors));
      failed |= errors != 0;
    }
    if (!out.empty() && (named.count(name) || pieceCount(t.material) >= 5)) {
      WriterOptions options;
      options.threads = threads;
      const TableFiles files = writeTable(t, options);
      if (!writeFile(out + "/" + name + ".rtbw", files.wdl) || !writeFile(out + "/" + name + ".rtbz", files.dtz)) {
        std::fprintf(stderr, "cannot write %s/%s\n", out.c_str(), name.c_str());
        failed = true;
      }
      std::fprintf(stderr, "%-8s written %7.2f s: %zu + %zu bytes\n", name.c_str(), secondsSince(start),
                   files.wdl.size(), files.dtz.size());
    }
    packTable(t);
  };
  for (const Material& m : endings) solveEnding(set, m);
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr, "done in %.2f s, peak memory %ld MB\n", secondsSince(start), usage.ru_maxrss / 1024);
  return failed ? 1 : 0;
}
