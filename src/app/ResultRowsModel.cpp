#include "app/ResultRowsModel.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "properties/propset/TextCodec.h"
#include "resultlist/RowFilter.h"

namespace fendrik {

namespace {
Qt::Alignment AlignmentOf(int column) {
  switch (kColumns[column].alignment) {
    case ColumnAlignment::Centre:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case ColumnAlignment::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlignment::Left:
      break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The character a cell shows for c.
char32_t Shown(char32_t c) {
  if (c < 0x20) return 0x2400 + c;  // the control pictures of U+0000 to U+001F
  if (c == 0x7F) return 0x2421;
  if (c == 0x85 || c == 0x2028 || c == 0x2029) return 0x2424;
  return c;
}
}  // namespace

QString DisplayText(std::string_view utf8) {
  QString shown;
  shown.reserve(static_cast<qsizetype>(std::min<size_t>(utf8.size(), 2 * kDisplayCharacters + 1)));
  size_t at = 0;
  for (int characters = 0; at < utf8.size() && characters < kDisplayCharacters; ++characters) {
    const auto byte = static_cast<unsigned char>(utf8[at]);
    if (byte >= 0x20 && byte < 0x7F) {
      shown.append(QLatin1Char(static_cast<char>(byte)));
      ++at;
      continue;
    }
    const std::optional<char32_t> c = propset::nextCodePoint(utf8, at);
    if (!c) ++at;  // a byte that starts no character shows as U+FFFD
    const char32_t picture = c ? Shown(*c) : char32_t{QChar::ReplacementCharacter};
    shown.append(QStringView(QChar::fromUcs4(picture)));
  }
  if (at < utf8.size()) shown.append(QChar(0x2026));
  return shown;
}

ResultRowsModel::ResultRowsModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultRowsModel::showColumns() {
  if (columnsShown_) return;
  // Rows held before the columns appear with them, so both change at once:
  // announced as a reset, not as inserted columns alone.
  beginResetModel();
  columnsShown_ = true;
  endResetModel();
}

void ResultRowsModel::setRows(ResultRows rows) {
  beginResetModel();
  rows_ = std::move(rows);
  sorted_ = false;
  endResetModel();
  emit sortStateChanged();
}

void ResultRowsModel::removeRowAt(int row) {
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  beginRemoveRows({}, row, row);
  rows_.remove(static_cast<size_t>(row));
  endRemoveRows();
}

void ResultRowsModel::setText(int row, int column, std::string_view text) {
  if (row < 0 || static_cast<size_t>(row) >= rows_.size() || column < 0 || column >= kColumnCount) return;
  rows_.setText(static_cast<size_t>(row), column, text);
  emit dataChanged(index(row, column), index(row, column));
}

void ResultRowsModel::sortByColumn(int column, bool ascending) {
  if (column < 0 || column >= kColumnCount) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const std::vector<size_t> from = rows_.sortByColumn(column, ascending);
  // Selection and current row stay with their rows, wherever they move.
  std::vector<int> to(from.size());
  for (size_t now = 0; now < from.size(); ++now) to[from[now]] = static_cast<int>(now);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& old : before) after.append(index(to[static_cast<size_t>(old.row())], old.column()));
  changePersistentIndexList(before, after);
  sorted_ = true;
  sortColumn_ = column;
  ascending_ = ascending;
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  emit sortStateChanged();
}

void ResultRowsModel::markSorted(int column, bool ascending) {
  if (column < 0 || column >= kColumnCount) return;
  sorted_ = true;
  sortColumn_ = column;
  ascending_ = ascending;
  emit sortStateChanged();
}

size_t ResultRowsModel::applyFilter(int column, const QString& filterText, bool doesNotContain) {
  // One reset instead of one removal signal per row: the view lays out the
  // rows once.
  beginResetModel();
  ApplyFilter(rows_, column, filterText, doesNotContain);
  endResetModel();
  return rows_.size();
}

int ResultRowsModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !columnsShown_) return 0;
  return static_cast<int>(rows_.size());
}

int ResultRowsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !columnsShown_ ? 0 : kColumnCount;
}

QVariant ResultRowsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole)
    return DisplayText(rows_.text(static_cast<size_t>(index.row()), index.column()));
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(AlignmentOf(index.column()));
  return {};
}

QVariant ResultRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return ToQString(kColumns[section].header);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(AlignmentOf(section));
  return {};
}

}  // namespace fendrik
