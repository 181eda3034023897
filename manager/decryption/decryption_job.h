#pragma once

// Runs the decryption worker.
void runDecryptionJob();
