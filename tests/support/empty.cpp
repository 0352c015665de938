// Keeps the support library non-empty before any test double exists.
