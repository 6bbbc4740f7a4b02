// The variants of a new group, held compactly: the first variant in full and
// every further one as the items where it differs from the first. Equal parts
// exchanged among themselves give variants that differ in a few items only,
// so 40 320 variants of a group of 200 take a few megabytes instead of a row
// of 200 components each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace DBX {
class Component;
}

class VariantList {
 public:
  explicit VariantList(std::size_t itemCount = 0) : n_(itemCount) {}

  // The variants of rows (n entries each, end to end); a trailing incomplete
  // variant is not taken.
  static VariantList fromRows(std::size_t itemCount, const std::vector<DBX::Component*>& rows);

  // Appends a variant of itemCount() components, entry i for template item i.
  void append(const std::vector<DBX::Component*>& row);
  void clear();

  std::size_t itemCount() const { return n_; }
  std::size_t variantCount() const { return variants_; }
  bool empty() const { return variants_ == 0; }

  // The component that the variant puts into the item. Throws
  // std::out_of_range beyond the variants or items.
  DBX::Component* at(std::size_t variant, std::size_t item) const;
  std::vector<DBX::Component*> row(std::size_t variant) const;
  // Every variant end to end, as the rows were appended.
  std::vector<DBX::Component*> rows() const;

 private:
  void checkVariant(std::size_t variant) const;
  std::size_t diffBegin(std::size_t variant) const {
    return variant == 0 ? 0 : diffEnd_[variant - 1];
  }

  std::size_t n_;
  std::size_t variants_ = 0;
  std::vector<DBX::Component*> first_;
  // Variant k differs from the first in the entries [diffBegin(k),
  // diffEnd_[k]) of the two lists, items ascending.
  std::vector<std::size_t> diffEnd_;
  std::vector<uint32_t> diffItems_;
  std::vector<DBX::Component*> diffComponents_;
};
