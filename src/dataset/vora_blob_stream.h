#pragma once
// TVoraBlobStream: reads and writes one BLOB field's value of the active
// record of its dataset as a stream, in one of three modes.
//
//   bmRead       works on a copy of the record, so the record buffer never
//                holds an open value for a mere read; a record another user
//                changed (8708) refreshes the dataset and is opened once more
//   bmWrite      starts by cutting the value to length 0
//   bmReadWrite  keeps the value and writes over it
// Both writing modes need a field that can be modified ("Field %s cannot be
// modified.") and a dataset in Editing or Inserting ("Table is not in edit
// or insert mode."); they work on the record buffer itself, where the post
// writes the value, and reuse a value this record already holds open.
//
// Destroying a stream that wrote marks the field modified and tells the
// data links; a stream that opened the value and did not write closes it.
// Failures are raised as engine errors with the table's names and the
// field's name as context.
//
// Threads: the dataset's. The dataset must stay on the record while the
// stream lives.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace telvora::dataset {

class TField;
class TVoraDataSet;

enum class TBlobStreamMode : std::uint8_t { bmRead, bmWrite, bmReadWrite };
enum class TSeekOrigin : std::uint8_t { soBeginning, soCurrent, soEnd };

class TVoraBlobStream {
 public:
  TVoraBlobStream(TField& Field, TBlobStreamMode Mode);
  ~TVoraBlobStream();
  TVoraBlobStream(const TVoraBlobStream&) = delete;
  TVoraBlobStream& operator=(const TVoraBlobStream&) = delete;

  // Reads up to count bytes at the position; returns how many were read
  // (fewer at the end of the value, none past it).
  std::size_t Read(void* buffer, std::size_t count);
  std::size_t Write(const void* buffer, std::size_t count);
  // The new position.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin);
  // Cuts the value at the position.
  void Truncate();
  std::size_t Size();
  std::int64_t Position() const { return position_; }

 private:
  void Open();
  // Raises a cursor result other than 0 with the stream's context.
  void Check(std::uint16_t code) const;

  TField& field_;
  TVoraDataSet& dataset_;
  std::uint16_t field_no_;
  TBlobStreamMode mode_;
  // The record worked on: the buffer's image, or a copy for reading.
  std::span<std::uint8_t> record_;
  std::vector<std::uint8_t> copy_;
  std::int64_t position_ = 0;
  bool opened_ = false;
  bool written_ = false;
};

}  // namespace telvora::dataset
