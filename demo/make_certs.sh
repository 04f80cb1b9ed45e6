#!/bin/sh
# Makes a test CA, a server certificate it signs for 127.0.0.1 and localhost, and an
# unrelated self-signed certificate, in the folder given. EC P-256 keys: made in
# milliseconds. Valid for ten years, as a build folder keeps the suite's set for good.
set -eu
dir=$1
cd "$dir"
# shellcheck disable=SC2086
key="-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes"
openssl req -x509 $key -days 3650 -subj "/CN=Tidewell Test CA" \
  -keyout ca.key -out ca.pem >/dev/null 2>&1
openssl req $key -subj "/CN=127.0.0.1" -keyout server.key -out server.csr >/dev/null 2>&1
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' > san.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
  -extfile san.ext -out server.pem >/dev/null 2>&1
openssl req -x509 $key -days 3650 -subj "/CN=127.0.0.1" \
  -addext "subjectAltName=IP:127.0.0.1" -keyout self.key -out self.pem >/dev/null 2>&1
