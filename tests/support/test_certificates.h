#pragma once
// A throw-away certificate authority and a server certificate it signed, made with the openssl
// command line into a folder of the test's own.
#include <filesystem>
#include <string>

namespace qdz::testing {

struct TestCertificates {
  std::filesystem::path caFile;      // PEM of the authority: what a client trusts
  std::filesystem::path serverCert;  // PEM of the server certificate
  std::filesystem::path serverKey;   // its private key, unencrypted
};

// subjectAltName names what the server certificate is valid for, e.g. "IP:127.0.0.1".
TestCertificates MakeTestCertificates(const std::filesystem::path& folder,
                                      const std::string& subjectAltName = "IP:127.0.0.1");

}  // namespace qdz::testing
