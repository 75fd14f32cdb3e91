#pragma once
// ETableChanged: a read from a table's files found that another program had
// changed the table since this one last looked. Without strict change
// detection a page or record that has to come from the file takes the read
// lock first, and that lock is where the change shows; the caches it made
// stale are dropped already. The operation under way is built on what it
// read before, so it cannot go on: the cursor catches this, re-synchronises
// and runs the operation again. Nothing is wrong with the table.
//
// Any thread; carries nothing.

namespace telvora::storage {

struct ETableChanged {};

}  // namespace telvora::storage
