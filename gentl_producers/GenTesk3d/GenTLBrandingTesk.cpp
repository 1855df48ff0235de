// Branding of the Tesk3D producer.
