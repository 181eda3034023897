#pragma once

// Runs the encryption worker.
void runEncryptionJob();
