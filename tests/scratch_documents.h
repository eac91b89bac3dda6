#pragma once
// Every test program keeps what the tool stores in the user's documents folder (settings,
// pinned camera keys) in a scratch folder of its own, made when the program starts and
// removed when it ends. A test that needs another folder sets CAMFLEET_DOCUMENTS_DIR itself
// and puts the scratch folder back when done.

namespace camfleet::scratch {

// Sets CAMFLEET_DOCUMENTS_DIR to the program's scratch folder again.
void RestoreDocuments();

}  // namespace camfleet::scratch
