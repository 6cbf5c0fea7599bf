#pragma once

#include "platform/Exception.h"

#include <string>

// A certificate or key that cannot be made, read or written.
PLIVORA_DECLARE_EXCEPTION(ECertificateError, Exception)

namespace service {

// When neither file exists, makes a self-signed certificate for "localhost" and
// 127.0.0.1 (RSA 2048, SHA-256, ten years) and writes both as PEM, the key
// readable by its owner only. Returns true when it made them. One file without
// the other is an error: the pair is never half replaced.
bool ensureSelfSignedCertificate(const std::string &certificatePath, const std::string &keyPath);

} // namespace service
