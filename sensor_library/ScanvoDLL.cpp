// The sensor library facade.
