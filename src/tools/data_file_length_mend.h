#pragma once
// Cutting a data file back to the records its header counts.
//
// Records reach the data file before its header's next record number does,
// so a program killed while adding a record can leave the file longer than
// the header says (a whole record or part of one at the end). The engine
// refuses such a file when it opens the table, and repair reaches tables
// through the engine, so repair mends the length first, on the raw file.
// What is cut was never acknowledged: the insert that wrote it did not
// return. When the header counts more records than the file holds, the
// count is lowered to what the file holds instead. A deleted-chain head
// beyond the records is cleared; repair rebuilds the chain from the
// records' flags afterwards.
//
// A file whose header cannot be read, or whose length agrees, is left
// alone. Before any change the file is copied to a free ".bak" name.
//
// REQUIRES: no program has the table open. One thread.

#include <string>
#include <vector>

namespace telvora::tools {

// Returns one line per thing done ("backup: PATH", "changed: ..."); none
// when the length agrees.
std::vector<std::string> MendDataFileLength(const std::string& data_path);

}  // namespace telvora::tools
