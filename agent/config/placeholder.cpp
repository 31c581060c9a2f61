// Placeholder: replaced as this area is built.
