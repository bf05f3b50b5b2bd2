#include "engine.h"

#include <cstdlib>
#include <sstream>

#include "base/platform.h"

namespace {

bool startsWithWord(const std::string& line, const char* word) {
  std::istringstream in(line);
  std::string first;
  return (in >> first) && first == word;
}

// The engine's next line; a Windows line ending loses its carriage return.
ReadStatus readEngineLine(UciEngine& engine, std::string& line, int64_t deadlineMs) {
  ReadStatus status = readLine(engine.process, line, deadlineMs);
  if (status == READ_LINE && !line.empty() && line.back() == '\r') line.pop_back();
  return status;
}

// Reads lines until one starts with the word; false on timeout or end.
bool waitForWord(UciEngine& engine, const char* word, int64_t deadlineMs, EngineFault& fault) {
  std::string line;
  for (;;) {
    ReadStatus status = readEngineLine(engine, line, deadlineMs);
    if (status == READ_TIMEOUT) {
      fault = FAULT_TIMEOUT;
      return false;
    }
    if (status == READ_CLOSED) {
      fault = FAULT_CLOSED;
      return false;
    }
    if (startsWithWord(line, word)) return true;
    // An engine that floods its output must still run out of time.
    if (nowMs() > deadlineMs) {
      fault = FAULT_TIMEOUT;
      return false;
    }
  }
}

bool parseInteger(const std::string& text, int& value) {
  char* end = nullptr;
  long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < -MATE_SCORE || parsed > MATE_SCORE) return false;
  value = int(parsed);
  return true;
}

}  // namespace

bool parseInfoScore(const std::string& line, int& score, int& depth) {
  std::istringstream in(line);
  std::string token;
  if (!(in >> token) || token != "info") return false;
  bool found = false;
  while (in >> token) {
    // Everything after "string" is free text, never a score.
    if (token == "string") break;
    std::string value;
    if (token == "depth" && (in >> value)) {
      parseInteger(value, depth);
    } else if (token == "score" && (in >> token) && (in >> value)) {
      int parsed = 0;
      if (!parseInteger(value, parsed)) continue;
      if (token == "cp") {
        score = parsed;
        found = true;
      } else if (token == "mate") {
        score = parsed > 0 ? MATE_SCORE - parsed : -MATE_SCORE - parsed;
        found = true;
      }
    }
  }
  return found;
}

bool startEngine(UciEngine& engine, const EngineSetup& setup, bool chess960, int64_t timeoutMs,
                 std::string& error) {
  engine.ready = false;
  // Through the shell, so that a command line may carry arguments and quoting.
  if (!startChild(engine.process, {"/bin/sh", "-c", "exec " + setup.command}, GROUP_OWN, error)) return false;
  int64_t deadline = nowMs() + timeoutMs;
  EngineFault fault = FAULT_NONE;
  bool ok = writeLine(engine.process, "uci") && waitForWord(engine, "uciok", deadline, fault);
  if (ok) {
    for (const auto& [name, value] : setup.options)
      ok = ok && writeLine(engine.process, "setoption name " + name + " value " + value);
    if (chess960) ok = ok && writeLine(engine.process, "setoption name UCI_Chess960 value true");
    ok = ok && writeLine(engine.process, "isready") && waitForWord(engine, "readyok", deadline, fault);
  }
  if (!ok) {
    error = fault == FAULT_TIMEOUT ? "no answer to the handshake" : "exited during the handshake";
    discardEngine(engine);
    return false;
  }
  engine.ready = true;
  return true;
}

bool prepareForGame(UciEngine& engine, int64_t timeoutMs, EngineFault& fault) {
  fault = FAULT_CLOSED;
  bool ok = writeLine(engine.process, "ucinewgame") && writeLine(engine.process, "isready") &&
            waitForWord(engine, "readyok", nowMs() + timeoutMs, fault);
  return ok;
}

MoveReply requestMove(UciEngine& engine, const std::string& positionCommand,
                      const std::string& goCommand, int64_t waitLimitMs) {
  MoveReply reply;
  if (!writeLine(engine.process, positionCommand)) {
    reply.fault = FAULT_CLOSED;
    return reply;
  }
  int64_t start = nowMs();
  if (!writeLine(engine.process, goCommand)) {
    reply.fault = FAULT_CLOSED;
    return reply;
  }
  std::string line;
  for (;;) {
    ReadStatus status = readEngineLine(engine, line, start + waitLimitMs);
    reply.elapsedMs = nowMs() - start;
    if (status == READ_TIMEOUT) {
      reply.fault = FAULT_TIMEOUT;
      return reply;
    }
    if (status == READ_CLOSED) {
      reply.fault = FAULT_CLOSED;
      return reply;
    }
    int score = 0;
    int depth = reply.depth;
    if (parseInfoScore(line, score, depth)) {
      reply.hasScore = true;
      reply.score = score;
      reply.depth = depth;
    } else if (startsWithWord(line, "bestmove")) {
      std::istringstream in(line);
      std::string word;
      in >> word >> reply.move;
      return reply;
    }
    if (reply.elapsedMs > waitLimitMs) {
      reply.fault = FAULT_TIMEOUT;
      return reply;
    }
  }
}

void quitEngine(UciEngine& engine, int64_t graceMs) {
  if (engine.process.pid > 0) writeLine(engine.process, "quit");
  stopChild(engine.process, graceMs);
  engine.ready = false;
}

void discardEngine(UciEngine& engine) {
  stopChild(engine.process, 0);
  engine.ready = false;
}
