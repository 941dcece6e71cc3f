// Filled in with the decoder
