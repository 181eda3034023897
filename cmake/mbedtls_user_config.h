/* Additions to mbed TLS's default configuration for Kyvomar. The program uses
 * AES (CBC, and the block function under its own GCM), SHA-256, HMAC and
 * PBKDF2; the library's GCM serves the tests as the reference for ours. The
 * self tests (and the printf they pull in) stay out of the program. */
#undef MBEDTLS_SELF_TEST

/* The generic cipher layer that the library's GCM sets its key through holds
 * a table of every enabled cipher and mode, and so links them all into what
 * uses it: the ciphers and modes nothing here uses are left out. */
#undef MBEDTLS_ARC4_C
#undef MBEDTLS_BLOWFISH_C
#undef MBEDTLS_CAMELLIA_C
#undef MBEDTLS_CCM_C
#undef MBEDTLS_CHACHA20_C
#undef MBEDTLS_CHACHAPOLY_C
#undef MBEDTLS_DES_C
#undef MBEDTLS_POLY1305_C
#undef MBEDTLS_XTEA_C
#undef MBEDTLS_CIPHER_MODE_CFB
#undef MBEDTLS_CIPHER_MODE_OFB
#undef MBEDTLS_CIPHER_MODE_XTS

/* The library never reads or writes files for the program. Without this, the
 * big-number code that GCM's constant-time helpers sit beside would bring in
 * the C runtime's whole printf. */
#undef MBEDTLS_FS_IO
#undef MBEDTLS_PSA_ITS_FILE_C
#undef MBEDTLS_PSA_CRYPTO_STORAGE_C
