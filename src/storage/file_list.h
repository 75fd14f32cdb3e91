#pragma once
// TFileList: the process-wide list of shared file objects, one per distinct
// file name and kind.
//
// Names are compared after trimming blanks (and control characters) at both
// ends and without regard to ASCII case; a physical file and an in-memory
// file of the same name are different entries. Linux file names are
// case-sensitive, so two physical names that differ in case are one entry
// only when they name the same file (a case-blind mount); otherwise each is
// its own file with its own entry. The list owns its objects:
//   - a physical file's object is in the list exactly while it has openers,
//     and is freed (its handle closed) when the last one leaves;
//   - an in-memory file's object stays in the list after its last opener
//     leaves, so an in-memory table keeps its data until it is deleted or
//     the process ends, except a temporary one, which goes with its last
//     opener.
//
// Open and Create return the new opener's identifier (above 0), or the
// engine error code of the refusal as a negative number; the calling
// thread's last system error then holds the operating system's number.
// Delete and Rename return 0 or a negative engine code the same way.
//
// Threads: a singleton; every operation holds the list's mutex, and takes an
// object's critical section inside it, never the other way round. So a
// caller holding a file object's critical section must not call the list.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "storage/abstract_file.h"

namespace telvora::storage {

class TFileList {
 public:
  static TFileList& Instance();

  TFileList(const TFileList&) = delete;
  TFileList& operator=(const TFileList&) = delete;

  // Opens the named file for a new opener. An entry that has openers gives
  // the new opener a share of it, refused with 11013 when it or the request
  // is exclusive. A missing in-memory entry is 11010; a physical file that
  // cannot be opened gives the code of its system error.
  std::int64_t Open(const std::string& name, bool in_memory, bool exclusive, bool temporary,
                    TAbstractFile*& file);
  // Creates (or re-creates, emptied) the named file, exclusively, with the
  // creator as its one opener. Refused with 11013 while the entry has
  // openers.
  std::int64_t Create(const std::string& name, bool in_memory, bool temporary,
                      TAbstractFile*& file);
  // Unregisters the opener; at its last opener a physical or temporary
  // object is removed and freed.
  void Close(TAbstractFile* file, std::uint32_t opener_id);
  // Refused with 11013 while the file is open in this process; a missing
  // file is 11010.
  int Delete(const std::string& name, bool in_memory);
  int Rename(const std::string& from, const std::string& to, bool in_memory);

  // Whether an entry of that name and kind is in the list (open or not).
  bool Contains(const std::string& name, bool in_memory);
  // The number of entries, of both kinds.
  std::size_t size();

  // The name as the list keys it: blanks and control characters trimmed
  // from both ends.
  static std::string TrimmedName(std::string_view name);
  // Whether two names denote the same entry: equal after trimming, without
  // regard to ASCII case.
  static bool SameName(std::string_view a, std::string_view b);

 private:
  TFileList() = default;

  // REQUIRES: mutex_ is held.
  std::vector<std::unique_ptr<TAbstractFile>>::iterator Find(std::string_view name, bool in_memory);
  void Remove(TAbstractFile* file);

  std::mutex mutex_;
  std::vector<std::unique_ptr<TAbstractFile>> files_;
};

}  // namespace telvora::storage
