#include "estimate/outcome_codec.h"

#include <cstdint>
#include <new>
#include <optional>

#include "base/bytes.h"
#include "base/texts.h"

namespace zelbo {

namespace {

constexpr std::uint8_t kHasExtras = 0x80;
constexpr std::uint8_t kHasOthers = 0x40;  // several targets: the others' outcomes follow
constexpr std::uint8_t kHasCritical = 0x20;  // critical tokens' counts follow, by target
constexpr std::uint8_t kKind = 0x1f;

bool hasCritical(const Outcome& o) {
  for (std::size_t t = 0; t < o.targets(); ++t)
    if (!o.of(t).critical.empty()) return true;
  return false;
}

void putTarget(ByteWriter& w, const TargetOutcome& t) {
  w.put(static_cast<std::uint8_t>(t.kind));
  w.put(t.value);
  w.put(static_cast<std::int32_t>(t.groupSize));
}

TargetOutcome getTarget(ByteReader& r) {
  TargetOutcome t;
  t.kind = static_cast<TargetOutcome::Kind>(r.get<std::uint8_t>());
  t.value = r.get<double>();
  t.groupSize = r.get<std::int32_t>();
  return t;
}

// The fatal end as an Error: running out of memory as the error it is reported as, anything
// else that is not an Error as the library's own fault.
Error asError(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Error& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return Error(Error::Kind::run, text::kOutOfMemory);
  } catch (const std::exception& other) {
    return Error(Error::Kind::internal, other.what());
  } catch (...) {
    return Error(Error::Kind::internal, text::kMalformedMessage);
  }
}

void putWritten(ByteWriter& w, const Written& written) {
  w.putText(written.log);
  w.putText(written.diagnostics);
}

Written getWritten(ByteReader& r) {
  Written written;
  written.log = r.getText();
  written.diagnostics = r.getText();
  return written;
}

void putError(ByteWriter& w, const Error& e) {
  w.put(static_cast<std::uint8_t>(e.kind()));
  w.put(static_cast<std::int32_t>(e.status()));
  w.putText(e.message());
  w.put(static_cast<std::uint8_t>(e.location().has_value()));
  if (const auto& at = e.location()) {
    w.putText(at->file);
    for (int n : {at->line, at->column, at->endLine, at->endColumn}) w.put(static_cast<std::int32_t>(n));
  }
  w.put(static_cast<std::uint64_t>(e.notes().size()));
  for (const Error::Note& note : e.notes()) {
    w.put(static_cast<std::uint8_t>(note.kind));
    w.putText(note.text);
  }
  w.putText(e.listing());
  w.putText(e.detail());
  w.put(static_cast<std::uint8_t>(e.framing()));
}

Error getError(ByteReader& r) {
  const auto kind = static_cast<Error::Kind>(r.get<std::uint8_t>());
  const int status = r.get<std::int32_t>();
  Error e(kind, r.getText(), status);
  if (r.get<std::uint8_t>()) {
    SourceLocation at;
    at.file = r.getText();
    for (int* n : {&at.line, &at.column, &at.endLine, &at.endColumn}) *n = r.get<std::int32_t>();
    e.at(std::move(at));
  }
  for (auto notes = r.get<std::uint64_t>(); notes > 0; --notes) {
    const auto noteKind = static_cast<Error::Note::Kind>(r.get<std::uint8_t>());
    e.note(noteKind, r.getText());
  }
  e.withListing(r.getText());
  e.withDetail(r.getText());
  e.framed(static_cast<Error::Framing>(r.get<std::uint8_t>()));
  return e;
}

}  // namespace

void encodeOutcome(const Delivered& d, std::string& out) {
  ByteWriter w(out);
  const Outcome& o = d.outcome;
  const bool critical = hasCritical(o);
  w.put(static_cast<std::uint8_t>(static_cast<std::uint8_t>(o.kind) | (d.extras ? kHasExtras : 0) |
                                  (o.others.empty() ? 0 : kHasOthers) | (critical ? kHasCritical : 0)));
  w.put(o.value);
  w.put(static_cast<std::int32_t>(o.groupSize));
  if (!o.others.empty()) {
    w.put(static_cast<std::uint32_t>(o.others.size()));
    for (const TargetOutcome& other : o.others) putTarget(w, other);
  }
  if (critical)
    for (std::size_t t = 0; t < o.targets(); ++t) {
      w.put(static_cast<std::uint32_t>(o.of(t).critical.size()));
      for (const PlaceCount& c : o.of(t).critical) {
        w.put(c.place);
        w.put(c.count);
      }
    }
  if (!d.extras) return;
  putWritten(w, d.extras->body);
  w.put(static_cast<std::uint32_t>(d.extras->trailers.size()));
  for (const Written& trailer : d.extras->trailers) putWritten(w, trailer);
  w.put(static_cast<std::uint8_t>(d.extras->error != nullptr));
  if (d.extras->error) putError(w, asError(d.extras->error));
}

Delivered decodeOutcome(std::string_view bytes, std::size_t& at) {
  ByteReader r(bytes, at);
  Delivered d;
  const auto head = r.get<std::uint8_t>();
  d.outcome.kind = static_cast<Outcome::Kind>(head & kKind);
  d.outcome.value = r.get<double>();
  d.outcome.groupSize = r.get<std::int32_t>();
  if (head & kHasOthers)
    for (auto others = r.get<std::uint32_t>(); others > 0; --others) d.outcome.others.push_back(getTarget(r));
  if (head & kHasCritical)
    for (std::size_t t = 0; t < d.outcome.targets(); ++t)
      for (auto n = r.get<std::uint32_t>(); n > 0; --n) {
        PlaceCount& c = d.outcome.of(t).critical.emplace_back();
        c.place = r.get<std::int32_t>();
        c.count = r.get<std::int32_t>();
      }
  if (!(head & kHasExtras)) return d;
  d.extras = std::make_unique<Extras>();
  d.extras->body = getWritten(r);
  for (auto trailers = r.get<std::uint32_t>(); trailers > 0; --trailers) d.extras->trailers.push_back(getWritten(r));
  if (r.get<std::uint8_t>()) d.extras->error = std::make_exception_ptr(getError(r));
  return d;
}

}  // namespace zelbo
