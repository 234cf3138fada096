a+=1 b-=2 if (a != b) print("x")
?a
c*=3 d/=4 e%=5
if (x) y=1 else y=2
