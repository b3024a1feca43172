#include "resultlist/TextOrder.h"

#include <QCollator>
#include <QLocale>
#include <QString>

namespace fendrik {

namespace {
QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The "C" locale has no collation of its own and would order by code point,
// with every umlaut after "z". A system that names no language gets the
// language-neutral order of the Unicode collation instead (English uses it
// unchanged).
QLocale CollationLocale() {
  QLocale locale;
  if (locale.language() == QLocale::C) return QLocale(QLocale::English, QLocale::UnitedStates);
  return locale;
}
}  // namespace

struct TextOrder::Collator {
  QCollator collator{CollationLocale()};
  Collator() {
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    collator.setIgnorePunctuation(false);
  }
};

#if FENDRIK_COLLATOR_SORT_KEYS
struct TextOrder::Key::Data {
  QCollatorSortKey key;
  int compare(const Data& other) const { return key.compare(other.key); }
};
#else
// Without trustworthy keys from the collator, a key is the text itself with
// the collator that made it (keys made by several threads compare
// afterwards, one thread at a time).
struct TextOrder::Key::Data {
  std::shared_ptr<Collator> collator;
  QString text;
  int compare(const Data& other) const { return collator->collator.compare(text, other.text); }
};
#endif

TextOrder::TextOrder() : collator_(std::make_shared<Collator>()) {}
TextOrder::~TextOrder() = default;

int TextOrder::compare(std::string_view a, std::string_view b) const {
  return collator_->collator.compare(ToQString(a), ToQString(b));
}

TextOrder::Key TextOrder::key(std::string_view text) const {
  Key key;
#if FENDRIK_COLLATOR_SORT_KEYS
  key.data_ = std::make_unique<Key::Data>(Key::Data{collator_->collator.sortKey(ToQString(text))});
#else
  key.data_ = std::make_unique<Key::Data>(Key::Data{collator_, ToQString(text)});
#endif
  return key;
}

TextOrder::Key::Key() = default;
TextOrder::Key::~Key() = default;
TextOrder::Key::Key(Key&&) noexcept = default;
TextOrder::Key& TextOrder::Key::operator=(Key&&) noexcept = default;

int TextOrder::Key::compare(const Key& other) const { return data_->compare(*other.data_); }

}  // namespace fendrik
