# (install rules are added here)
