// SPDX-License-Identifier: GPL-3.0-or-later
// clrmamepro text: blocks "word ( key value ... )", values bare words or quoted strings,
// blocks nested in blocks (a game's roms).
#include <cctype>

#include "dat/dat_file.h"

namespace quillon::dat::detail {

namespace {

struct Token {
  enum Kind { Open, Close, Word, Text, End, Broken } kind = End;
  std::string text;  // the word, the string without its quotes and escapes, or what is broken
  std::size_t line = 1;
};

// Splits the text into tokens, counting lines as it goes.
class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}

  Token Next() {
    SkipSpace();
    if (at_ == text_.size()) return {Token::End, {}, line_};
    const char c = text_[at_];
    if (c == '(' || c == ')') {
      ++at_;
      return {c == '(' ? Token::Open : Token::Close, std::string(1, c), line_};
    }
    if (c == '"') return QuotedString();
    const std::size_t start = at_;
    while (at_ < text_.size() && !IsSpace(text_[at_]) && text_[at_] != '(' && text_[at_] != ')' && text_[at_] != '"')
      ++at_;
    return {Token::Word, std::string(text_.substr(start, at_ - start)), line_};
  }

 private:
  static bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

  void SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) {
      if (text_[at_] == '\n') ++line_;
      ++at_;
    }
  }

  Token QuotedString() {
    const std::size_t startLine = line_;
    std::string text;
    for (++at_; at_ < text_.size(); ++at_) {
      char c = text_[at_];
      if (c == '"') {
        ++at_;
        return {Token::Text, std::move(text), startLine};
      }
      if (c == '\n') ++line_;
      if (c == '\\' && at_ + 1 < text_.size()) c = Escaped(text_[++at_]);
      text += c;
    }
    return {Token::Broken, "a quoted string is not closed", startLine};
  }

  static char Escaped(char c) {
    if (c == 'n') return '\n';
    if (c == 't') return '\t';
    return c;  // \" \\ and any other character as itself
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t line_ = 1;
};

// Nesting deeper than this is no DAT.
constexpr int kDeepestBlock = 16;

class Reader {
 public:
  explicit Reader(std::string_view text) : tokens_(text) {}

  DatRead Read() {
    Dat dat;
    for (Token word = tokens_.Next(); word.kind != Token::End; word = tokens_.Next()) {
      if (word.kind != Token::Word) return Fail(word, "expected a block's name, found " + Shown(word));
      if (!ExpectOpen(word)) return {std::nullopt, error_};
      const bool ok = word.text == "clrmamepro"                                                    ? ReadHeader(dat)
                      : (word.text == "game" || word.text == "machine" || word.text == "resource") ? ReadGame(dat)
                                                                                                   : SkipBlock(1);
      if (!ok) return {std::nullopt, error_};
    }
    return {std::move(dat), {}};
  }

 private:
  static std::string Shown(const Token& token) {
    if (token.kind == Token::End) return "the end of the file";
    if (token.kind == Token::Text) return "\"" + token.text + "\"";
    return "'" + token.text + "'";
  }

  DatRead Fail(const Token& token, const std::string& what) {
    SetError(token, what);
    return {std::nullopt, error_};
  }
  bool SetError(const Token& token, const std::string& what) {
    if (error_.empty()) error_ = "line " + std::to_string(token.line) + ": " + what;
    return false;
  }

  bool ExpectOpen(const Token& word) {
    const Token open = tokens_.Next();
    if (open.kind == Token::Open) return true;
    if (open.kind == Token::Broken) return SetError(open, open.text);
    return SetError(open, "expected '(' after " + word.text + ", found " + Shown(open));
  }

  // Reads "key value" pairs up to the block's ')'; a nested block goes to `onBlock` (which
  // reads it whole) and a value to `onValue`.
  template <typename OnValue, typename OnBlock>
  bool ReadPairs(int depth, OnValue onValue, OnBlock onBlock) {
    if (depth > kDeepestBlock) return SetError(tokens_.Next(), "blocks nested too deep");
    for (;;) {
      const Token key = tokens_.Next();
      if (key.kind == Token::Close) return true;
      if (key.kind == Token::Broken) return SetError(key, key.text);
      if (key.kind != Token::Word) return SetError(key, "expected a field's name or ')', found " + Shown(key));
      const Token value = tokens_.Next();
      if (value.kind == Token::Open) {
        if (!onBlock(key, depth + 1)) return false;
      } else if (value.kind == Token::Word || value.kind == Token::Text) {
        if (!onValue(key, value)) return false;
      } else if (value.kind == Token::Broken) {
        return SetError(value, value.text);
      } else {
        return SetError(value, "expected the value of " + key.text + ", found " + Shown(value));
      }
    }
  }

  bool SkipBlock(int depth) {
    return ReadPairs(
        depth, [](const Token&, const Token&) { return true; },
        [this](const Token&, int inner) { return SkipBlock(inner); });
  }

  bool ReadHeader(Dat& dat) {
    return ReadPairs(
        1,
        [&](const Token& key, const Token& value) {
          if (key.text == "name") dat.name = value.text;
          if (key.text == "version") dat.version = value.text;
          return true;
        },
        [this](const Token&, int inner) { return SkipBlock(inner); });
  }

  bool ReadGame(Dat& dat) {
    std::string name, serial;
    const std::size_t first = dat.roms.size();
    const bool ok = ReadPairs(
        1,
        [&](const Token& key, const Token& value) {
          if (key.text == "name") name = value.text;
          if (key.text == "serial") serial = value.text;
          return true;
        },
        [&](const Token& key, int inner) {
          if (key.text != "rom") return SkipBlock(inner);
          dat.roms.emplace_back();
          return ReadRom(dat.roms.back(), inner);
        });
    for (std::size_t i = first; i < dat.roms.size(); ++i) {
      dat.roms[i].game = name;
      if (dat.roms[i].serial.empty()) dat.roms[i].serial = serial;
    }
    return ok;
  }

  bool ReadRom(RomEntry& rom, int depth) {
    return ReadPairs(
        depth,
        [&](const Token& key, const Token& value) {
          const auto error = SetRomField(rom, key.text, value.text);
          return !error || SetError(value, *error);
        },
        [this](const Token&, int inner) { return SkipBlock(inner); });
  }

  Tokenizer tokens_;
  std::string error_;
};

}  // namespace

DatRead ReadClrmamepro(std::string_view text) { return Reader(text).Read(); }

}  // namespace quillon::dat::detail
