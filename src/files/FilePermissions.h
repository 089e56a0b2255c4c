#pragma once
// The six POSIX read and write bits an item's permissions pane edits, as an option set over the
// mode bits. Execute, set-id and sticky bits are deliberately not members.
#include <initializer_list>

namespace ml::files {

class FilePermissions {
 public:
  static constexpr int kOwnerRead = 0400;
  static constexpr int kOwnerWrite = 0200;
  static constexpr int kGroupRead = 0040;
  static constexpr int kGroupWrite = 0020;
  static constexpr int kGlobalRead = 0004;
  static constexpr int kGlobalWrite = 0002;
  static constexpr int kAllBits = 0666;

  static const FilePermissions ownerRead, ownerWrite, groupRead, groupWrite, globalRead, globalWrite, none;

  constexpr FilePermissions() = default;
  constexpr explicit FilePermissions(int rawValue) : raw_(rawValue) {}
  constexpr FilePermissions(std::initializer_list<FilePermissions> members) {
    for (auto m : members) raw_ |= m.raw_;
  }

  constexpr int rawValue() const { return raw_; }
  constexpr int mask() const { return raw_; }
  constexpr bool isEmpty() const { return raw_ == 0; }
  constexpr bool contains(FilePermissions m) const { return (raw_ & m.raw_) == m.raw_; }
  constexpr void insert(FilePermissions m) { raw_ |= m.raw_; }
  constexpr void remove(FilePermissions m) { raw_ &= ~m.raw_; }
  constexpr FilePermissions unionWith(FilePermissions m) const { return FilePermissions(raw_ | m.raw_); }
  constexpr FilePermissions intersection(FilePermissions m) const { return FilePermissions(raw_ & m.raw_); }
  constexpr FilePermissions symmetricDifference(FilePermissions m) const { return FilePermissions(raw_ ^ m.raw_); }
  constexpr FilePermissions subtracting(FilePermissions m) const { return FilePermissions(raw_ & ~m.raw_); }

  friend constexpr bool operator==(FilePermissions, FilePermissions) = default;

 private:
  int raw_ = 0;
};

inline constexpr FilePermissions FilePermissions::ownerRead{FilePermissions::kOwnerRead};
inline constexpr FilePermissions FilePermissions::ownerWrite{FilePermissions::kOwnerWrite};
inline constexpr FilePermissions FilePermissions::groupRead{FilePermissions::kGroupRead};
inline constexpr FilePermissions FilePermissions::groupWrite{FilePermissions::kGroupWrite};
inline constexpr FilePermissions FilePermissions::globalRead{FilePermissions::kGlobalRead};
inline constexpr FilePermissions FilePermissions::globalWrite{FilePermissions::kGlobalWrite};
inline constexpr FilePermissions FilePermissions::none{};

}  // namespace ml::files
