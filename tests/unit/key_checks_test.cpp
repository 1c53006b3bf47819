// The structural key checks against the verdicts that the test set's
// generator reached independently (tests/data/key-checks), on edge moduli,
// and on real certificates, none of which may be flagged: the committed
// certificate set and Debian's CA certificates.

#include "provider/certificate_walker.h"
#include "provider/key_checks.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

KeyCheckOutcome Outcome(const std::string &word)
{
    if (word == "flagged")
        return kCheckFlagged;
    return word == "skipped" ? kCheckSkipped : kCheckPassed;
}

KeyWeakness ExpectedWeakness(const std::vector<std::string> &row)
{
    if (row[3] == "flagged")
        return kWeaknessRoca;
    return row[4] == "flagged" ? kWeaknessClosePrimes : kWeaknessNone;
}

// Rows: name, bits, residue test, roca, close primes.
void ExpectVerdicts(const std::vector<std::string> &row, const Bytes &modulus)
{
    const uint32_t length = static_cast<uint32_t>(modulus.size());
    EXPECT_EQ(Outcome(row[3]), CheckRocaStructure(modulus.data(), length));
    EXPECT_EQ(Outcome(row[4]), CheckClosePrimes(modulus.data(), length));
    EXPECT_EQ(ExpectedWeakness(row), FindKeyWeakness(modulus.data(), length));
}

// The modulus of a certificate, as the provider's walker hands it out.
bool ModulusOf(const Bytes &der, Bytes *modulus)
{
    TMyProcessCertificate reader;
    reader.Process(der.data(), static_cast<uint32_t>(der.size()));
    const uint8_t *bytes = nullptr;
    uint32_t length = 0;
    if (!reader.GetModulus(&bytes, &length))
        return false;
    modulus->assign(bytes, bytes + length);
    return true;
}

TEST(KeyChecks, GeneratedKeysGetTheGeneratorsVerdicts)
{
    const std::string dir = TestDataDir();
    if (dir.empty())
        GTEST_SKIP() << "VERILOOM_TEST_DATA not set";
    const auto certificates = ReadTsv(dir + "/key-checks/verdicts.tsv");
    EXPECT_GE(certificates.size(), 12u);
    for (const auto &row : certificates) {
        SCOPED_TRACE(row[0]);
        ASSERT_EQ(5u, row.size());
        Bytes der, modulus;
        ASSERT_TRUE(ReadWholeFile(dir + "/key-checks/" + row[0], &der));
        ASSERT_TRUE(ModulusOf(der, &modulus));
        EXPECT_EQ(row[1], std::to_string(modulus.size() * 8));
        ExpectVerdicts(row, modulus);
    }
    const auto moduli = ReadTsv(dir + "/key-checks/moduli.tsv");
    EXPECT_GE(moduli.size(), 2u);
    for (const auto &row : moduli) {
        SCOPED_TRACE(row[0]);
        ASSERT_EQ(6u, row.size());
        const std::string &hex = row[5];
        ExpectVerdicts(row, FromHex(hex.size() % 2 ? "0" + hex : hex));
    }
}

TEST(KeyChecks, EdgeModuli)
{
    const Bytes allOnes8192(1024, 0xFF);  // (2^4096 - 1)(2^4096 + 1): round 0
    Bytes tooWide(1025, 0xFF);
    Bytes padded = allOnes8192;
    padded.insert(padded.begin(), 3, 0x00);
    struct Case {
        const char *name;
        Bytes modulus;
        KeyCheckOutcome roca, closePrimes;
    } cases[] = {
        {"empty (zero)", Bytes(), kCheckSkipped, kCheckFlagged},
        {"15 = 3 * 5", FromHex("0f"), kCheckSkipped, kCheckFlagged},
        {"2^8192 - 1", allOnes8192, kCheckPassed, kCheckFlagged},
        {"2^8192 - 1 with leading zero bytes", padded, kCheckPassed, kCheckFlagged},
        {"8200 bits", tooWide, kCheckSkipped, kCheckSkipped},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t length = static_cast<uint32_t>(c.modulus.size());
        EXPECT_EQ(c.roca, CheckRocaStructure(c.modulus.data(), length));
        EXPECT_EQ(c.closePrimes, CheckClosePrimes(c.modulus.data(), length));
    }
}

// Returns how many certificates of dir/expected.tsv had an RSA key.
size_t ExpectNoWeakKeys(const std::string &dir)
{
    size_t checked = 0;
    for (const auto &row : ReadTsv(dir + "/expected.tsv")) {
        SCOPED_TRACE(row[0]);
        Bytes der, modulus;
        EXPECT_TRUE(ReadWholeFile(dir + "/" + row[0], &der));
        if (!ModulusOf(der, &modulus))
            continue;
        EXPECT_EQ(kWeaknessNone, FindKeyWeakness(modulus.data(), static_cast<uint32_t>(modulus.size())));
        checked++;
    }
    return checked;
}

TEST(KeyChecks, RealCertificatesAreNotFlagged)
{
    const std::string dir = TestDataDir();
    if (!dir.empty()) {
        EXPECT_GE(ExpectNoWeakKeys(dir + "/certs"), 10u);
    }
    const std::string caDir = CaDataDir();
    if (!caDir.empty()) {
        EXPECT_GE(ExpectNoWeakKeys(caDir), 100u);
    }
    if (dir.empty() || caDir.empty())
        GTEST_SKIP() << "VERILOOM_TEST_DATA or VERILOOM_CA_DATA not set";
}

} // namespace
