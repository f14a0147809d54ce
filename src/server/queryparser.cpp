#include "server/queryparser.h"

#include "server/textutil.h"

namespace varnook::server {
namespace {

enum class Token { End, Word, Phrase, Field, LeftParen, RightParen, And, AndNot, Or };

bool isSeparator(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}
bool isSpecial(char c) {
  return c == '(' || c == ')' || c == '|' || c == '&' || c == '"';
}

class Parser {
 public:
  Parser(std::string_view text, bool matchAll) : text_(text), matchAll_(matchAll) { advance(); }

  ParsedQuery run() {
    ParsedQuery result;
    if (text_.size() > kMaxQueryBytes) {
      result.error = "The query is too long.";
      return result;
    }
    std::optional<QueryNode> root;
    while (token_ != Token::End && error_.empty()) {
      // A stray ")" at the top is ignored; whatever follows it still counts.
      if (token_ == Token::RightParen) {
        advance();
        continue;
      }
      root = combine(matchAll_ ? QueryNode::Kind::And : QueryNode::Kind::Or, std::move(root),
                     parseOr(matchAll_));
    }
    if (!error_.empty()) {
      result.error = error_;
      return result;
    }
    result.root = std::move(root);
    return result;
  }

 private:
  // --- tokens ---

  void advance() {
    while (position_ < text_.size() && isSeparator(text_[position_])) ++position_;
    value_.clear();
    wildcard_ = false;
    if (position_ >= text_.size()) {
      token_ = Token::End;
      return;
    }
    const char c = text_[position_];
    if (c == '(') return single(Token::LeftParen);
    if (c == ')') return single(Token::RightParen);
    if (c == '|') return single(Token::Or);
    if (c == '&') {
      if (position_ + 1 < text_.size() && text_[position_ + 1] == '!') {
        position_ += 2;
        token_ = Token::AndNot;
        return;
      }
      return single(Token::And);
    }
    if (c == '"') {
      const std::size_t close = text_.find('"', position_ + 1);
      const std::size_t end = close == std::string_view::npos ? text_.size() : close;
      value_ = text_.substr(position_ + 1, end - position_ - 1);
      position_ = close == std::string_view::npos ? text_.size() : close + 1;
      token_ = Token::Phrase;
      return;
    }
    if (c == '~' && position_ + 1 < text_.size()) {
      const char letter = static_cast<char>(text_[position_ + 1] | 0x20);
      const bool ends = position_ + 2 >= text_.size() || isSeparator(text_[position_ + 2]) ||
                        text_[position_ + 2] == '(' || text_[position_ + 2] == '"';
      if ((letter == 'a' || letter == 's' || letter == 'g') && ends) {
        value_ = std::string(1, letter);
        position_ += 2;
        token_ = Token::Field;
        return;
      }
    }
    std::size_t end = position_;
    while (end < text_.size() && !isSeparator(text_[end]) && !isSpecial(text_[end])) ++end;
    std::string_view word = text_.substr(position_, end - position_);
    position_ = end;
    while (!word.empty() && word.back() == '*') {
      word.remove_suffix(1);
      wildcard_ = true;
    }
    value_ = word;
    token_ = Token::Word;
  }

  void single(Token token) {
    ++position_;
    token_ = token;
  }

  // --- grammar ---

  static std::optional<QueryNode> combine(QueryNode::Kind kind, std::optional<QueryNode> left,
                                          std::optional<QueryNode> right) {
    if (!right) return left;
    if (!left) {
      if (kind == QueryNode::Kind::AndNot) {
        QueryNode node;
        node.kind = QueryNode::Kind::Not;
        node.children.push_back(std::move(*right));
        return node;
      }
      return right;
    }
    QueryNode node;
    node.kind = kind;
    node.children.push_back(std::move(*left));
    node.children.push_back(std::move(*right));
    return node;
  }

  std::optional<QueryNode> parseOr(bool juxtaposeAll) {
    std::optional<QueryNode> left = parseAnd(juxtaposeAll);
    while (token_ == Token::Or && error_.empty()) {
      advance();
      left = combine(QueryNode::Kind::Or, std::move(left), parseAnd(juxtaposeAll));
    }
    return left;
  }

  std::optional<QueryNode> parseAnd(bool juxtaposeAll) {
    std::optional<QueryNode> left = parseSequence(juxtaposeAll);
    while ((token_ == Token::And || token_ == Token::AndNot) && error_.empty()) {
      const QueryNode::Kind kind =
          token_ == Token::And ? QueryNode::Kind::And : QueryNode::Kind::AndNot;
      advance();
      left = combine(kind, std::move(left), parseSequence(juxtaposeAll));
    }
    return left;
  }

  // Words next to each other: plain items joined by the operator in force, field clauses
  // and-ed to the result.
  std::optional<QueryNode> parseSequence(bool juxtaposeAll) {
    std::optional<QueryNode> plain, fields;
    while (error_.empty()) {
      if (token_ == Token::End || token_ == Token::Or || token_ == Token::And ||
          token_ == Token::AndNot)
        break;
      if (token_ == Token::RightParen) {
        if (depth_ > 0) break;
        advance();  // stray, ignored
        continue;
      }
      const bool isField = token_ == Token::Field;
      std::optional<QueryNode> item = parseItem(juxtaposeAll);
      if (isField) {
        fields = combine(QueryNode::Kind::And, std::move(fields), std::move(item));
      } else {
        plain = combine(juxtaposeAll ? QueryNode::Kind::And : QueryNode::Kind::Or, std::move(plain),
                        std::move(item));
      }
    }
    return combine(QueryNode::Kind::And, std::move(plain), std::move(fields));
  }

  std::optional<QueryNode> parseItem(bool juxtaposeAll) {
    switch (token_) {
      case Token::LeftParen: {
        if (++depth_ > kMaxQueryDepth) {
          error_ = "The query is nested too deeply.";
          return std::nullopt;
        }
        advance();
        std::optional<QueryNode> inner = parseOr(juxtaposeAll);
        if (token_ == Token::RightParen) advance();
        --depth_;
        return inner;
      }
      case Token::Phrase:
      case Token::Word: {
        if (++words_ > kMaxQueryWords) {
          error_ = "The query has too many words.";
          return std::nullopt;
        }
        QueryNode node;
        node.kind = token_ == Token::Phrase ? QueryNode::Kind::Phrase : QueryNode::Kind::Term;
        node.text = value_;
        node.wildcard = wildcard_;
        advance();
        if (node.text.empty() && node.kind == QueryNode::Kind::Term) return std::nullopt;
        return node;
      }
      case Token::Field: {
        const char field = value_[0];
        if (++depth_ > kMaxQueryDepth) {
          error_ = "The query is nested too deeply.";
          return std::nullopt;
        }
        advance();
        std::optional<QueryNode> inner;
        if (token_ == Token::LeftParen || token_ == Token::Phrase || token_ == Token::Word ||
            token_ == Token::Field)
          inner = parseItem(field != 'g');
        --depth_;
        if (!inner) return std::nullopt;
        QueryNode node;
        node.kind = QueryNode::Kind::Field;
        node.field = field;
        node.children.push_back(std::move(*inner));
        return node;
      }
      default:
        advance();
        return std::nullopt;
    }
  }

  std::string_view text_;
  bool matchAll_;
  std::size_t position_ = 0;
  Token token_ = Token::End;
  std::string value_;
  bool wildcard_ = false;
  int depth_ = 0;
  int words_ = 0;
  std::string error_;
};

void describe(const QueryNode& node, std::string& out) {
  switch (node.kind) {
    case QueryNode::Kind::Term:
      out += '"' + node.text + (node.wildcard ? "*\"" : "\"");
      return;
    case QueryNode::Kind::Phrase:
      out += "(phrase \"" + node.text + "\")";
      return;
    case QueryNode::Kind::Field:
      out += std::string("(field ") + node.field + ' ';
      describe(node.children[0], out);
      out += ')';
      return;
    default:
      break;
  }
  static constexpr const char* kNames[] = {"", "", "and", "or", "andnot", "not", ""};
  out += '(';
  out += kNames[static_cast<int>(node.kind)];
  for (const QueryNode& child : node.children) {
    out += ' ';
    describe(child, out);
  }
  out += ')';
}

}  // namespace

ParsedQuery parseQueryText(std::string_view text, bool matchAll) {
  return Parser(text, matchAll).run();
}

std::string describeQuery(const QueryNode& node) {
  std::string out;
  describe(node, out);
  return out;
}

std::vector<std::string> splitGroupList(std::string_view text) {
  std::vector<std::string> groups;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ',' || isSeparator(text[i]))) ++i;
    std::size_t end = i;
    while (end < text.size() && text[end] != ',' && !isSeparator(text[end])) ++end;
    if (end > i) groups.push_back(asciiLowered(text.substr(i, end - i)));
    i = end;
  }
  return groups;
}

}  // namespace varnook::server
