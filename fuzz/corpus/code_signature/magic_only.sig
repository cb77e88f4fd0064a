qm-code-signature-v1
