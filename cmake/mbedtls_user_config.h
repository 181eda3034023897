/* Additions to mbed TLS's default configuration for Kyvomar: only AES and
 * SHA-256 are used, so the self tests (and the printf they pull in) stay out
 * of the program. */
#undef MBEDTLS_SELF_TEST
