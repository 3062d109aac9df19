// knowledge/check_text.cpp: the diagnostics found -> CheckDiagnostic records in order, their
// places from StoredText (knowledge/dictionary_format.h); and the rules on bytes (code page 932,
// 0x1A, control characters, the codes typed text never holds) and on Boke.dat.
// Leaves this file: Excerpt, HexByte, CheckReporter::Finish, CheckBytes, FirstControl,
// ControlMessage, FirstKeyControl, FindUntypedForm, CheckQuips. Tested by
// tests/knowledge/dictionary_check_test.cpp; fuzzed by fuzz/dictionary_check_fuzz.cpp.
#include <algorithm>
#include <cstring>

#include "base/cp932.h"
#include "base/cp932_forms.h"
#include "knowledge/check_internal.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"

namespace mimoza {

std::string Excerpt(const char* text, size_t length) {
  std::string out = "\"";
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  for (size_t at = 0; at < length;) {
    if (at >= kExcerptBytes) {
      out += "...";
      break;
    }
    const unsigned char c = t[at];
    if (ValidCharacterLength(text, at, length) == 2) {
      out.append(text + at, 2);
      at += 2;
      continue;
    }
    if ((c >= 0x20 && c < 0x7F) || (c >= 0xA1 && c <= 0xDF)) {
      out += static_cast<char>(c);
    } else {
      const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
    ++at;
  }
  return out + "\"";
}

std::string Excerpt(std::string_view text) { return Excerpt(text.data(), text.size()); }

std::string HexByte(unsigned char c) {
  const char kHex[] = "0123456789ABCDEF";
  return std::string("0x") + kHex[c >> 4] + kHex[c & 15];
}

void CheckReporter::Finish(const StoredText* texts[2], std::vector<CheckDiagnostic>* out) {
  for (int32_t file = 0; file < 2; ++file) {
    for (int32_t rule = 0; rule < RuleCount; ++rule) {
      const uint32_t more = counts[file][rule] > kMaxPerRule ? counts[file][rule] - kMaxPerRule : 0;
      if (more == 0) continue;
      found.push_back(PendingDiagnostic{static_cast<CheckedFile>(file), CheckNote,
                                        static_cast<CheckRule>(rule), kNoOffset,
                                        Says(CheckMsgMorePlaces, {Count(more)})});
    }
  }
  std::stable_sort(
      found.begin(), found.end(), [](const PendingDiagnostic& a, const PendingDiagnostic& b) {
        if (a.file != b.file) return a.file < b.file;
        return a.stored < b.stored;  // what concerns the whole file (kNoOffset) comes last
      });
  // Each file's places in one sweep: positions only grow.
  for (PendingDiagnostic& f : found) {
    CheckDiagnostic d;
    d.file = f.file;
    d.severity = f.severity;
    d.rule = f.rule;
    d.message = std::move(f.message);
    const StoredText* text = texts[f.file];
    if (f.stored != kNoOffset && text != nullptr) {
      const TextPlace place = text->Place(f.stored);
      d.line = place.line;
      d.column = place.column;
    }
    out->push_back(std::move(d));
  }
}

void CheckBytes(const StoredText& text, CheckedFile file, CheckReporter& reporter) {
  const std::string& raw = text.Raw();
  const auto* t = reinterpret_cast<const unsigned char*>(raw.data());
  const size_t n = raw.size();
  size_t endMarks = 0;
  size_t firstMark = kNoOffset;
  for (size_t at = 0; at < n;) {
    const unsigned char c = t[at];
    if (c == 0x1A) {
      if (endMarks++ == 0) firstMark = at;
      ++at;
      continue;
    }
    if (IsLeadByte(c)) {
      if (ValidCharacterLength(raw.data(), at, n) == 2) {
        at += 2;
        continue;
      }
      reporter.Add(file, at, CheckWarning, RuleNotCp932, [&] {
        if (at + 1 >= n || t[at + 1] == '\r' || t[at + 1] == '\n') {
          return Says(CheckMsgLeadByteLineEnd, {Verbatim(HexByte(c))});
        }
        return Says(CheckMsgLeadByteBad, {Verbatim(HexByte(c)), Verbatim(HexByte(t[at + 1]))});
      });
      ++at;
      continue;
    }
    if (c == 0x80 || c == 0xA0 || c >= 0xFD) {
      reporter.Add(file, at, CheckWarning, RuleNotCp932,
                   [&] { return Says(CheckMsgNotCp932Byte, {Verbatim(HexByte(c))}); });
    }
    ++at;
  }
  if (endMarks > 0) {
    reporter.Add(file, firstMark, CheckWarning, RuleEndMark, [&] {
      return endMarks > 1 ? Says(CheckMsgEndMarks, {Count(n - firstMark - 1), Count(endMarks)})
                          : Says(CheckMsgEndMark, {Count(n - firstMark - 1)});
    });
  }
}

size_t FirstControl(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return i;
  }
  return kNoOffset;
}

CheckText ControlMessage(bool quip, unsigned char c) {
  if (c == 0) return Says(quip ? CheckMsgQuipNul : CheckMsgAnswerNul);
  return Says(quip ? CheckMsgQuipControl : CheckMsgAnswerControl, {Verbatim(HexByte(c))});
}

size_t FirstKeyControl(std::string_view text) {
  for (size_t at = 0; at < text.size(); at += StepCharacter(text.data(), at, text.size())) {
    const auto c = static_cast<unsigned char>(text[at]);
    if ((c != 0 && c < 0x20) || c == 0x7F) return at;
  }
  return kNoOffset;
}

bool FindUntypedForm(std::string_view text, size_t* at, CheckText* message) {
  for (size_t i = 0; i < text.size(); i += StepCharacter(text.data(), i, text.size())) {
    if (ValidCharacterLength(text.data(), i, text.size()) != 2) continue;
    const auto code = static_cast<uint16_t>(static_cast<unsigned char>(text[i]) << 8 |
                                            static_cast<unsigned char>(text[i + 1]));
    const uint16_t typed = TypedForm(code);
    if (typed == code) continue;
    *at = i;
    const auto hex = [](uint16_t value) {
      return HexByte(static_cast<unsigned char>(value >> 8)) +
             HexByte(static_cast<unsigned char>(value & 0xFF)).substr(2);
    };
    *message = Says(CheckMsgUntypedForm, {Verbatim(Excerpt(text.substr(i, 2))), Verbatim(hex(code)),
                                          Verbatim(hex(typed))});
    return true;
  }
  return false;
}

void CheckQuips(const StoredText& text, CheckReporter& reporter) {
  const char* t = text.Text();
  const size_t n = text.Length();
  const auto report = [&](size_t at, CheckSeverity severity, CheckRule rule, CheckText message) {
    reporter.Add(CheckedQuips, at == kNoOffset ? kNoOffset : text.Stored(at), severity, rule,
                 [&] { return std::move(message); });
  };
  if (n > 0 && std::memchr(t, '\n', n) == nullptr) {
    const bool crs = std::memchr(t, '\r', n) != nullptr;
    report(0, CheckWarning, RuleQuipNoLineEnd,
           Says(crs ? CheckMsgQuipCrLineEnds : CheckMsgQuipNoLineEnd, {Count(n)}));
  }
  size_t lines = 0;
  for (size_t at = 0; at < n;) {
    const char* lf = FindByte(t + at, '\n', t + n);
    const size_t end = lf == nullptr ? n : static_cast<size_t>(lf - t);
    const size_t withLineEnd = end - at + (lf != nullptr ? 1 : 0);
    if (++lines == kMaxQuipLines + 1) {
      size_t total = lines;
      for (const char* more = lf; more != nullptr; more = FindByte(more + 1, '\n', t + n)) {
        if (more + 1 < t + n) ++total;
      }
      report(at, CheckWarning, RuleQuipLines,
             Says(CheckMsgQuipTooMany, {Count(total), Count(kMaxQuipLines)}));
      break;
    }
    const std::string_view line(t + at, end - at);
    if (line.empty()) {
      report(at, CheckNote, RuleQuipEmptyLine, Says(CheckMsgQuipEmptyLine));
    }
    const size_t control = FirstControl(line);
    if (control != kNoOffset) {
      report(at + control, CheckWarning, RuleControlCharacter,
             ControlMessage(true, static_cast<unsigned char>(line[control])));
    }
    if (withLineEnd > kLineBufferBytes) {
      report(at, CheckWarning, RuleQuipCut,
             Says(CheckMsgQuipLong, {Count(line.size()), Count(kLineBufferBytes)}));
    }
    at = end + 1;
  }
}

}  // namespace mimoza
