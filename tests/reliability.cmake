# Soak, fault and bad-input tests.
