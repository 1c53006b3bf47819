// cert_fingerprint: prints, for each certificate or key file (DER or PEM),
// the subject's common name and the key fingerprint that blacklist files
// list, as the revocation provider computes them; with --check also whether
// a blacklist file lists the key and, for RSA, what the structural key
// checks find.
// Builds natively and for Windows.
//   cert_fingerprint FILE...
//   cert_fingerprint --check [--lists DIR] FILE...
//   cert_fingerprint --stores [--lists DIR] [--csv]      (Windows)
// --stores checks every certificate of the machine's and the current user's
// stores Root, AuthRoot, CA, My and TrustedPeople against the lists of the
// installation folder (or DIR) and the structural checks, and prints one
// line per weak certificate: store, subject, fingerprint, reason.
// Certificates ("CERTIFICATE") and RSA public keys ("PUBLIC KEY", that is
// SubjectPublicKeyInfo) go through the provider's certificate reader; a
// public key of any other kind (EC, Ed25519, ...) is digested whole, as the
// reader digests a certificate's SubjectPublicKeyInfo. The
// other RSA keys, "RSA PRIVATE KEY" and "RSA PUBLIC KEY" (PKCS #1) and
// "PRIVATE KEY" (PKCS #8, rsaEncryption), are read here and their modulus is
// digested as the reader digests a certificate's: one leading zero octet off.

#include "common/blacklist_name.h"
#include "provider/certificate_walker.h"
#include "provider/key_checks.h"
#include "provider/sha1_digest.h"
#include "provider/text_search.h"
#include "tools/file_input.h"
#ifdef _WIN32
#include "common/install_folder.h"
#include "tools/certificate_stores.h"
#endif

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// One DER element: identifier octet and contents.
struct Element {
    uint8_t tag;
    const uint8_t *content;
    size_t length;
};

const uint8_t kTagInteger = 0x02;
const uint8_t kTagBitString = 0x03;
const uint8_t kTagOctetString = 0x04;
const uint8_t kTagSequence = 0x30;

// Reads the element at *at (low tag numbers, definite lengths of up to four
// octets) and moves *at past it.
bool ReadElement(const uint8_t **at, const uint8_t *end, Element *element)
{
    const uint8_t *p = *at;
    if (end - p < 2 || (p[0] & 0x1F) == 0x1F)
        return false;
    element->tag = *p++;
    size_t length = *p++;
    if (length & 0x80) {
        const size_t octets = length & 0x7F;
        if (octets == 0 || octets > 4 || static_cast<size_t>(end - p) < octets)
            return false;
        length = 0;
        for (size_t i = 0; i < octets; i++)
            length = length << 8 | *p++;
    }
    if (static_cast<size_t>(end - p) < length)
        return false;
    element->content = p;
    element->length = length;
    *at = p + length;
    return true;
}

// The elements of the SEQUENCE that fills bytes[0, length) exactly.
bool ReadSequence(const uint8_t *bytes, size_t length, std::vector<Element> *items)
{
    const uint8_t *at = bytes;
    const uint8_t *end = bytes + length;
    Element sequence;
    if (!ReadElement(&at, end, &sequence) || sequence.tag != kTagSequence || at != end)
        return false;
    items->clear();
    for (at = sequence.content; at < end;) {
        Element item;
        if (!ReadElement(&at, end, &item))
            return false;
        items->push_back(item);
    }
    return true;
}

// An AlgorithmIdentifier whose algorithm is rsaEncryption.
bool IsRsaAlgorithm(const Element &algorithm)
{
    static const uint8_t kRsaEncryption[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
    return algorithm.tag == kTagSequence && algorithm.length >= sizeof kRsaEncryption &&
           memcmp(algorithm.content, kRsaEncryption, sizeof kRsaEncryption) == 0;
}

enum KeyForm { kNotAKey, kRsaPrivateKey, kRsaPublicKey, kPrivateKeyInfo, kSubjectPublicKeyInfo };

// Which RSA key structure der holds; *modulus is the modulus INTEGER (PKCS #1
// and PKCS #8 forms).
KeyForm FindKey(const std::vector<uint8_t> &der, Element *modulus)
{
    std::vector<Element> items;
    if (!ReadSequence(der.data(), der.size(), &items))
        return kNotAKey;
    // RSAPublicKey: modulus, publicExponent.
    if (items.size() == 2 && items[0].tag == kTagInteger && items[1].tag == kTagInteger) {
        *modulus = items[0];
        return kRsaPublicKey;
    }
    // RSAPrivateKey: version, modulus, publicExponent, privateExponent, prime1,
    // prime2, exponent1, exponent2, coefficient [, otherPrimeInfos].
    if (items.size() >= 9 && items[0].tag == kTagInteger && items[1].tag == kTagInteger) {
        *modulus = items[1];
        return kRsaPrivateKey;
    }
    // PrivateKeyInfo: version, rsaEncryption, OCTET STRING holding an RSAPrivateKey.
    if (items.size() >= 3 && items[0].tag == kTagInteger && IsRsaAlgorithm(items[1]) &&
        items[2].tag == kTagOctetString) {
        std::vector<Element> inner;
        if (!ReadSequence(items[2].content, items[2].length, &inner) || inner.size() < 9 ||
            inner[0].tag != kTagInteger || inner[1].tag != kTagInteger)
            return kNotAKey;
        *modulus = inner[1];
        return kPrivateKeyInfo;
    }
    // SubjectPublicKeyInfo: AlgorithmIdentifier, BIT STRING (for RSA holding
    // an RSAPublicKey).
    if (items.size() == 2 && items[0].tag == kTagSequence && items[1].tag == kTagBitString)
        return kSubjectPublicKeyInfo;
    return kNotAKey;
}

// What a file yields: the common name, the key's kind, the digest the
// fingerprint comes from and, for RSA, the modulus.
struct KeyFacts {
    std::string commonName;
    KeyKind kind = kKeyKindNone;
    std::string digest;
    std::vector<uint8_t> modulus;
};

int Fail(const char *path, const char *message)
{
    printf("%s: %s\n", path, message);
    return 1;
}

// The key's kind, digest and, for RSA, modulus, as a certificate reader
// found them.
void TakeKeyFacts(const TMyProcessCertificate &reader, KeyFacts *facts)
{
    facts->kind = reader.GetKeyKind();
    facts->digest = reader.GetKeyDigest();
    const uint8_t *digits = NULL;
    uint32_t length = 0;
    if (facts->kind == kKeyKindRsa && reader.GetModulus(&digits, &length))
        facts->modulus.assign(digits, digits + length);
}

// Reads a certificate or RSA key file; prints why and returns 1 when it is
// neither.
int ReadKeyFacts(const char *path, KeyFacts *facts)
{
    std::vector<uint8_t> bytes, pem;
    if (!ReadWholeFile(path, &bytes))
        return Fail(path, "cannot read the file");
    std::string label;
    const bool isPem = DecodePem(bytes, &label, &pem);
    const std::vector<uint8_t> &der = isPem ? pem : bytes;
    if (isPem && label.compare(0, 10, "encrypted ") == 0)
        return Fail(path, "encrypted key; decrypt it first (openssl rsa -in KEY -out PLAIN)");
    if (isPem && pem.empty()) {
        const std::string message = "PEM block \"" + label + "\" is neither a certificate nor a readable RSA key";
        return Fail(path, message.c_str());
    }
    if (der.empty())
        return Fail(path, "empty file");

    Element modulus = {0, NULL, 0};
    const KeyForm form = FindKey(der, &modulus);
    const bool keyExpected = isPem && label != "CERTIFICATE";
    if (keyExpected && form == kNotAKey) {
        const std::string message = "not a readable RSA key (PEM block \"" + label + "\")";
        return Fail(path, message.c_str());
    }
    if (isPem && !keyExpected && form != kNotAKey)
        return Fail(path, "PEM block \"CERTIFICATE\" holds a key, not a certificate");

    const KeyKind publicKeyKind =
        form == kSubjectPublicKeyInfo ? KindOfKeyInfo(der.data(), static_cast<uint32_t>(der.size())) : kKeyKindNone;
    if (form == kSubjectPublicKeyInfo && publicKeyKind != kKeyKindRsa) {
        char digest[80] = "";
        if (DigestKeyInfo(der.data(), static_cast<uint32_t>(der.size()), digest, sizeof digest) != kDigestOk)
            return Fail(path, "the public key cannot be digested");
        facts->commonName = "(key file)";
        facts->kind = publicKeyKind;
        facts->digest = digest;
        return 0;
    }
    if (form == kNotAKey || form == kSubjectPublicKeyInfo) {
        TMyProcessCertificate reader;
        if (!reader.Process(der.data(), static_cast<uint32_t>(der.size()))) {
            printf("%s: not a readable %s [%d/%d]\n", path, form == kNotAKey ? "certificate or RSA key" : "RSA key",
                   static_cast<int>(reader.ParseStatus), static_cast<int>(reader.KeyStatus));
            return 1;
        }
        if (form == kSubjectPublicKeyInfo && strlen(reader.GetModulusDigest()) <= 20)
            return Fail(path, "not a readable RSA key (no modulus in the public key)");
        facts->commonName = form == kNotAKey ? reader.GetCommonName() : "(key file)";
        TakeKeyFacts(reader, facts);
        return 0;
    }

    // As the certificate reader does: one leading zero octet is dropped.
    const uint8_t *digits = modulus.content;
    size_t length = modulus.length;
    if (length > 0 && digits[0] == 0)
        digits++, length--;
    char digest[80] = "";
    if (length == 0 || DigestModulus(digits, static_cast<uint32_t>(length), digest, sizeof digest) != kDigestOk)
        return Fail(path, "not a readable RSA key (modulus cannot be digested)");
    facts->commonName = "(key file)";
    facts->kind = kKeyKindRsa;
    facts->digest = digest;
    facts->modulus.assign(digits, digits + length);
    return 0;
}

void Print(const char *path, const KeyFacts &facts)
{
    printf("%s\n  common name: %s\n  fingerprint: %s\n", path,
           facts.commonName.empty() ? "(none)" : facts.commonName.c_str(),
           facts.digest.size() > 20 ? facts.digest.c_str() + 20 : "(no key)");
    // Keys that are not RSA are fingerprinted by their whole public key.
    if (facts.kind != kKeyKindRsa && facts.digest.size() > 20)
        printf("  key: %s (fingerprint of the SubjectPublicKeyInfo)\n", KeyKindName(facts.kind));
}

// The blacklist files of a folder, by the rule that the library and Setup use.
bool ListBlacklists(const std::string &folder, std::vector<std::string> *names)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return false;
    while (const dirent *entry = readdir(dir)) {
        if (IsBlacklistFileName(entry->d_name))
            names->push_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
}

// A list's text up to its first NUL, as the library searches it.
bool ReadListText(const std::string &path, std::string *text)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path.c_str(), &bytes))
        return false;
    const void *nul = memchr(bytes.data(), 0, bytes.size());
    const size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t *>(nul) - bytes.data()) : bytes.size();
    text->assign(bytes.begin(), bytes.begin() + static_cast<long>(length));
    return true;
}

// A blacklist file of the folder searched; one that cannot be read is kept,
// unread, so that each report can say so.
struct List {
    std::string name;
    bool readable;
    std::string text;
};

// The blacklist files of a folder, each read once.
bool LoadLists(const std::string &folder, std::vector<List> *lists)
{
    std::vector<std::string> names;
    if (!ListBlacklists(folder, &names))
        return false;
    for (const std::string &name : names) {
        List list = {name, false, ""};
        list.readable = ReadListText(folder + "/" + name, &list.text);
        lists->push_back(list);
    }
    return true;
}

// What the lists and, for RSA, the structural checks find about a key.
struct Findings {
    std::vector<std::string> listedIn;
    KeyCheckOutcome roca = kCheckSkipped;
    KeyCheckOutcome closePrimes = kCheckSkipped;
};

Findings Examine(const KeyFacts &facts, const std::vector<List> &lists)
{
    Findings findings;
    const std::string fingerprint = facts.digest.substr(20);
    for (const List &list : lists) {
        if (list.readable && ContainsText(list.text.data(), list.text.size(), fingerprint.c_str()))
            findings.listedIn.push_back(list.name);
    }
    if (facts.kind == kKeyKindRsa) {
        const uint8_t *modulus = facts.modulus.data();
        const uint32_t length = static_cast<uint32_t>(facts.modulus.size());
        findings.roca = CheckRocaStructure(modulus, length);
        findings.closePrimes = CheckClosePrimes(modulus, length);
    }
    return findings;
}

bool IsWeak(const Findings &findings)
{
    return !findings.listedIn.empty() || findings.roca == kCheckFlagged || findings.closePrimes == kCheckFlagged;
}

const char *CheckWords(KeyCheckOutcome outcome, const char *weak, const char *skipped)
{
    if (outcome == kCheckFlagged)
        return weak;
    return outcome == kCheckSkipped ? skipped : "not found";
}

// Prints what --check finds; 0 nothing weak, 1 weak, 2 unreadable. Without
// a list folder lists is empty.
int Check(const char *path, const char *listFolder, const std::vector<List> &lists)
{
    KeyFacts facts;
    if (ReadKeyFacts(path, &facts) != 0)
        return 2;
    Print(path, facts);
    if (facts.digest.size() <= 20) {
        printf("  no key: nothing to check\n");
        return 0;
    }
    const Findings findings = Examine(facts, lists);
    if (listFolder) {
        for (const List &list : lists) {
            if (!list.readable)
                printf("  (cannot read %s)\n", list.name.c_str());
        }
        for (const std::string &name : findings.listedIn)
            printf("  blacklist: listed in %s\n", name.c_str());
        if (findings.listedIn.empty())
            printf("  blacklist: not listed (%u files searched)\n", static_cast<unsigned>(lists.size()));
    } else {
        printf("  blacklist: not searched (no --lists)\n");
    }
    if (facts.kind != kKeyKindRsa) {
        printf("  ROCA, close primes: not checked (RSA keys only)\n");
    } else {
        printf("  ROCA: %s\n", CheckWords(findings.roca, "WEAK: the primes have the ROCA structure (CVE-2017-15361)",
                                          "not checked (modulus under 256 or over 8192 bits)"));
        printf("  close primes: %s\n",
               CheckWords(findings.closePrimes, "WEAK: Fermat's method factors the modulus (CVE-2022-26320)",
                          "not checked (modulus over 8192 bits)"));
    }
    return IsWeak(findings) ? 1 : 0;
}

#ifdef _WIN32
// Adds an item to a comma-separated text.
void Join(std::string *text, const std::string &item)
{
    if (!text->empty())
        *text += ", ";
    *text += item;
}

// Why a certificate's key is weak, in one line; empty when nothing finds it.
std::string WeakReason(const Findings &findings)
{
    std::string reason;
    for (const std::string &name : findings.listedIn)
        Join(&reason, "listed in " + name);
    if (findings.roca == kCheckFlagged)
        Join(&reason, "ROCA (CVE-2017-15361)");
    if (findings.closePrimes == kCheckFlagged)
        Join(&reason, "close primes (CVE-2022-26320)");
    return reason;
}

// A CSV field, quoted when it needs to be.
std::string CsvField(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// --stores: 0 nothing weak, 1 a weak certificate, 2 a store, list or
// certificate that could not be read (and nothing weak).
int CheckStores(const char *listFolder, bool csv)
{
    char installFolder[1024];
    if (!listFolder) {
        if (!VeriloomInstallFolder(installFolder, sizeof installFolder)) {
            fprintf(stderr, "cert_fingerprint: no installation folder (ProgramFiles); give --lists DIR\n");
            return 2;
        }
        listFolder = installFolder;
    }
    std::vector<List> lists;
    const bool listed = LoadLists(listFolder, &lists);
    size_t readable = 0;
    for (const List &list : lists) {
        if (list.readable)
            readable++;
        else
            fprintf(stderr, "cert_fingerprint: cannot read the list %s\n", list.name.c_str());
    }
    bool unreadable = readable < lists.size();
    // A folder whose lists all fail to read is no better than one that fails.
    if (!listed || (unreadable && readable == 0)) {
        fprintf(stderr, "cert_fingerprint: cannot read the folder %s\n", listFolder);
        return 2;
    }
    if (csv)
        printf("store,subject,fingerprint,reason\n");
    size_t checked = 0, weak = 0;
    ReadSystemStores(
        [&](const StoreCertificate &certificate) {
            checked++;
            KeyFacts facts;
            TMyProcessCertificate reader;
            if (!reader.Process(certificate.der.data(), static_cast<uint32_t>(certificate.der.size())) ||
                strlen(reader.GetKeyDigest()) <= 20) {
                fprintf(stderr, "cert_fingerprint: %s: '%s' is not readable [%d/%d]\n", certificate.store.c_str(),
                        certificate.subject.c_str(), static_cast<int>(reader.ParseStatus),
                        static_cast<int>(reader.KeyStatus));
                unreadable = true;
                return;
            }
            TakeKeyFacts(reader, &facts);
            const std::string reason = WeakReason(Examine(facts, lists));
            if (reason.empty())
                return;
            weak++;
            const std::string fingerprint = facts.digest.substr(20);
            if (csv)
                printf("%s,%s,%s,%s\n", CsvField(certificate.store).c_str(), CsvField(certificate.subject).c_str(),
                       fingerprint.c_str(), CsvField(reason).c_str());
            else
                printf("%s: '%s' %s: %s\n", certificate.store.c_str(), certificate.subject.c_str(),
                       fingerprint.c_str(), reason.c_str());
        },
        [&](const std::string &store, unsigned long error) {
            fprintf(stderr, "cert_fingerprint: cannot open the store %s (error %lu)\n", store.c_str(), error);
            unreadable = true;
        });
    fprintf(csv ? stderr : stdout, "%u certificates checked against %u lists in %s: %u weak\n",
            static_cast<unsigned>(checked), static_cast<unsigned>(readable), listFolder,
            static_cast<unsigned>(weak));
    return weak ? 1 : unreadable ? 2 : 0;
}
#endif

int Usage()
{
    fprintf(stderr,
            "usage: cert_fingerprint FILE...\n"
            "       cert_fingerprint --check [--lists DIR] FILE...\n"
            "       cert_fingerprint --stores [--lists DIR] [--csv]\n"
            "Prints the common name and the key fingerprint of each certificate or key\n"
            "file (DER or PEM: CERTIFICATE, RSA PRIVATE KEY, PRIVATE KEY, RSA PUBLIC KEY,\n"
            "PUBLIC KEY of any kind). For a key the common name reads \"(key file)\".\n"
            "An RSA key's fingerprint comes from its modulus, any other key's from its\n"
            "whole SubjectPublicKeyInfo.\n"
            "--check also says whether a BLACKLIST file in DIR lists the key and whether\n"
            "an RSA key has the ROCA structure or close primes; exit code 0 nothing weak,\n"
            "1 a weak key (even when another file was unreadable), 2 unreadable input.\n"
            "--stores (Windows) checks every certificate of the machine's and the current\n"
            "user's stores Root, AuthRoot, CA, My and TrustedPeople the same way, against\n"
            "the lists of the installation folder or DIR, and prints one line per weak\n"
            "certificate (store, subject, fingerprint, reason; --csv: as CSV with a header);\n"
            "exit codes as for --check, 2 also for a store that could not be opened.\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage();
    if (strcmp(argv[1], "--stores") == 0) {
        const char *listFolder = NULL;
        bool csv = false;
        for (int i = 2; i < argc; i++) {
            if (strcmp(argv[i], "--csv") == 0)
                csv = true;
            else if (strcmp(argv[i], "--lists") == 0 && i + 1 < argc)
                listFolder = argv[++i];
            else
                return Usage();
        }
#ifdef _WIN32
        return CheckStores(listFolder, csv);
#else
        (void)listFolder;
        (void)csv;
        fprintf(stderr, "cert_fingerprint: --stores reads the Windows certificate stores; it runs on Windows\n");
        return 2;
#endif
    }
    if (strcmp(argv[1], "--check") != 0) {
        int failures = 0;
        for (int i = 1; i < argc; i++) {
            KeyFacts facts;
            if (ReadKeyFacts(argv[i], &facts) == 0)
                Print(argv[i], facts);
            else
                failures++;
        }
        return failures ? 1 : 0;
    }

    int first = 2;
    const char *listFolder = NULL;
    std::vector<List> lists;
    if (argc > 3 && strcmp(argv[2], "--lists") == 0) {
        listFolder = argv[3];
        first = 4;
        if (!LoadLists(listFolder, &lists)) {
            fprintf(stderr, "cert_fingerprint: cannot read the folder %s\n", listFolder);
            return 2;
        }
    }
    if (first >= argc)
        return Usage();
    bool weak = false, unreadable = false;
    for (int i = first; i < argc; i++) {
        const int result = Check(argv[i], listFolder, lists);
        weak = weak || result == 1;
        unreadable = unreadable || result == 2;
    }
    return weak ? 1 : unreadable ? 2 : 0;
}
