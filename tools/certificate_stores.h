// The system certificate stores an inventory of weak keys reads: Root,
// AuthRoot, CA, My and TrustedPeople of the local machine and of the current
// user. Windows only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct StoreCertificate {
    std::string store;    // "LocalMachine\Root", "CurrentUser\My", ...
    std::string subject;  // the subject's simple display name
    std::vector<uint8_t> der;
};

// Hands every certificate of every store to visit, once (a certificate that
// a user's store shows from the machine's store of the same name is the
// machine's); a store that cannot be opened goes to unreadable with the
// Win32 error, and the others are read.
void ReadSystemStores(const std::function<void(const StoreCertificate &)> &visit,
                      const std::function<void(const std::string &store, unsigned long error)> &unreadable);
