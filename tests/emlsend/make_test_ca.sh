#!/bin/sh
# Makes the certificates of the TLS tests in the directory $1, all with
# P-256 keys and valid for a day:
#   ca.pem            the test CA (trusted through TLSTrustFile)
#   server.pem/.key   localhost, 127.0.0.1 and ::1, signed by the test CA
#   wrong.pem/.key    wrong.example only, signed by the test CA
#   unknown.pem/.key  localhost, signed by another CA that nobody trusts
#   self.pem/.key     localhost, self-signed
set -eu
cd "$1"
newkey="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"

openssl req -x509 $newkey -keyout ca.key -out ca.pem -days 1 -subj "/CN=emlsend test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -x509 $newkey -keyout other-ca.key -out other-ca.pem -days 1 -subj "/CN=emlsend other CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null

# issue NAME CA SAN
issue() {
  openssl req -new $newkey -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$3" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days 1 \
    -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
issue server ca "DNS:localhost,IP:127.0.0.1,IP:::1"
issue wrong ca "DNS:wrong.example"
issue unknown other-ca "DNS:localhost,IP:127.0.0.1"
openssl req -x509 $newkey -keyout self.key -out self.pem -days 1 -subj "/CN=localhost" \
  -addext subjectAltName=DNS:localhost,IP:127.0.0.1 2>/dev/null
