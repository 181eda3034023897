/* Additions to mbed TLS's default configuration for Kyvomar. The program uses
 * AES (CBC, and GCM through the generic cipher layer) and SHA-256; the self
 * tests (and the printf they pull in) stay out of the program. */
#undef MBEDTLS_SELF_TEST

/* The generic cipher layer that GCM sets its key through holds a table of
 * every enabled cipher and mode, and so links them all: the ciphers and modes
 * the program never uses are left out of the library. */
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
