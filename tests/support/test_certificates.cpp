#include "support/test_certificates.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace qdz::testing {
namespace {

std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

void Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
    throw std::runtime_error("test certificates: failed: " + command);
  }
}

}  // namespace

TestCertificates MakeTestCertificates(const std::filesystem::path& folder,
                                      const std::string& subjectAltName) {
  const std::string newKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  const auto caKey = folder / "ca.key";
  const auto request = folder / "server.csr";
  const auto extensions = folder / "server.ext";
  TestCertificates result{folder / "ca.pem", folder / "server.pem", folder / "server.key"};

  std::ofstream(extensions) << "subjectAltName=" << subjectAltName << "\nbasicConstraints=CA:FALSE\n";
  Run("openssl req -x509 " + newKey + " -days 2 -subj '/CN=QDZ Test CA' -keyout " + Quoted(caKey) +
      " -out " + Quoted(result.caFile));
  Run("openssl req " + newKey + " -subj '/CN=QDZ Test Server' -keyout " + Quoted(result.serverKey) +
      " -out " + Quoted(request));
  Run("openssl x509 -req -days 1 -in " + Quoted(request) + " -CA " + Quoted(result.caFile) +
      " -CAkey " + Quoted(caKey) + " -CAcreateserial -extfile " + Quoted(extensions) + " -out " +
      Quoted(result.serverCert));
  return result;
}

}  // namespace qdz::testing
