// The certificate reader on real certificates, against what OpenSSL says of
// them: the committed test set, and Debian's CA certificates (expectations
// taken at test time). Rows: file, process ok, parse status, key status,
// fingerprint (last 20 digits, or -), common name as hex (- empty, ? unknown).

#include "provider/certificate_walker.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Checks every certificate listed in dir/expected.tsv; returns how many.
size_t CheckCertificateSet(const std::string &dir)
{
    const auto rows = ReadTsv(dir + "/expected.tsv");
    for (const auto &row : rows) {
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(6u, row.size());
        if (row.size() != 6)
            continue;
        Bytes der;
        EXPECT_TRUE(ReadWholeFile(dir + "/" + row[0], &der));

        TMyProcessCertificate reader;
        const bool ok = reader.Process(der.data(), static_cast<uint32_t>(der.size()));
        EXPECT_EQ(row[1] == "1", ok);
        EXPECT_EQ(std::stoi(row[2]), reader.ParseStatus);
        EXPECT_EQ(std::stoi(row[3]), reader.KeyStatus);

        // The fingerprint is the last 20 digits of the digest.
        const std::string digest = reader.GetKeyDigest();
        const std::string fingerprint = digest.size() > 20 ? digest.substr(20) : digest;
        EXPECT_EQ(row[4] == "-" ? "" : row[4], fingerprint);
        if (ok && !digest.empty()) {
            EXPECT_EQ(40u, digest.size());
        }

        if (row[5] != "?") {
            const char *name = reader.GetCommonName();
            EXPECT_EQ(row[5] == "-" ? "" : row[5], ToHex(reinterpret_cast<const uint8_t *>(name), strlen(name)));
        }
    }
    return rows.size();
}

TEST(CertificateSet, GeneratedCertificatesAgreeWithOpenSsl)
{
    const std::string dir = TestDataDir();
    if (dir.empty())
        GTEST_SKIP() << "VERILOOM_TEST_DATA not set";
    EXPECT_GE(CheckCertificateSet(dir + "/certs"), 20u);
}

TEST(CertificateSet, DebianCaCertificatesAgreeWithOpenSsl)
{
    const std::string dir = CaDataDir();
    if (dir.empty())
        GTEST_SKIP() << "VERILOOM_CA_DATA not set";
    EXPECT_GE(CheckCertificateSet(dir), 100u);
}

} // namespace
