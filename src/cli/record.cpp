#include "cli/record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

namespace zelbo {

namespace {

using json = nlohmann::ordered_json;

// The message without the blank lines and tabs that frame it on standard error.
std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\n");
  return text.substr(first, last - first + 1);
}

json settingsOf(const RunRecord& r) {
  const Settings& s = *r.settings;
  json error = {{"criterion", s.criterion == ErrorCriterion::absolute ? "absolute" : "relative"},
                {"value", s.criterion == ErrorCriterion::absolute ? s.absoluteError : s.relativeError}};
  return {{"stopping", s.stopping == Stopping::fixed ? "fixed" : "automatic"},
          {"sample_size", s.sampleSize},
          {"error", error},
          {"confidence", s.confidence},
          {"skip", s.skip},
          {"print_period", s.printPeriod},
          {"jobs", r.result ? r.result->jobs : r.jobs},
          {"seed", r.seed}};
}

json targetOf(const Model& model) {
  if (!model.hasTarget()) return nullptr;
  const Target t = model.target();
  return {{"source", t.source},
          {"destination", t.destination},
          {"separation", t.separation},
          {"bound", t.lowerBound ? "lower" : "upper"}};
}

json resultOf(const RunRecord& r) {
  if (!r.result) return nullptr;
  const Result& result = *r.result;
  if (result.unpaired)
    return {{"unpaired", true}, {"bound", nullptr}, {"half_width", nullptr}, {"segments", result.segments}};
  return {{"bound", result.bound},
          {"half_width", result.halfWidth},
          {"samples", result.samples},
          {"instances", result.instances},
          {"segments", result.segments},
          {"discarded", result.discarded},
          {"unpaired", false}};
}

}  // namespace

std::string recordText(const RunRecord& r) {
  json record;
  record["version"] = ZELBO_VERSION;
  record["model"] = {{"file", r.modelFile}, {"name", r.model ? json(r.model->name()) : json(nullptr)}};
  record["target"] = r.model ? targetOf(*r.model) : json(nullptr);
  record["settings"] = settingsOf(r);
  record["result"] = resultOf(r);
  record["cpu_seconds"] = r.cpuSeconds;
  record["wall_seconds"] = r.wallSeconds;
  if (r.ranks)
    record["ranks"] = {{"count", r.ranks->ranks},
                       {"threads", r.ranks->threads},
                       {"cpu_seconds", r.cpuSeconds + r.ranks->otherCpuSeconds}};
  if (r.errorMessage.empty()) {
    record["status"] = "ok";
  } else {
    record["status"] = "error";
    json error = {{"message", trimmed(r.errorMessage)}};
    if (!r.errorDetail.empty()) error["detail"] = r.errorDetail;
    record["error"] = error;
  }
  record["exit_status"] = r.exitStatus;
  return record.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool RecordFile::open(const std::string& path, std::string& why) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    why = "is a directory";
    return false;
  }
  std::string pattern = path + ".XXXXXX";
  fd_ = mkstemp(pattern.data());
  if (fd_ < 0) {
    why = strerror(errno);
    return false;
  }
  path_ = path;
  temporary_ = pattern;
  return true;
}

bool RecordFile::commit(const std::string& text, std::string& why) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      why = strerror(errno);
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  // The record is readable like any file the user writes, not only by its owner.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
  if (fsync(fd_) != 0 || close(fd_) != 0) {
    fd_ = -1;
    why = strerror(errno);
    return false;
  }
  fd_ = -1;
  if (rename(temporary_.c_str(), path_.c_str()) != 0) {
    why = strerror(errno);
    return false;
  }
  temporary_.clear();
  return true;
}

RecordFile::~RecordFile() {
  if (fd_ >= 0) close(fd_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

}  // namespace zelbo
